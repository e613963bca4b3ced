'use strict';
// Object classes the detector knows (the 80 COCO classes) and the tag each
// one gives. Related classes share a tag so a kitchen photo gets "Food" once
// rather than "Banana", "Apple" and "Sandwich".
const objectTags = {
  person: 'People',
  bicycle: 'Bicycle', car: 'Car', motorcycle: 'Motorcycle', airplane: 'Airplane', bus: 'Bus',
  train: 'Train', truck: 'Truck', boat: 'Boat',
  'traffic light': 'Street', 'fire hydrant': 'Street', 'stop sign': 'Street', 'parking meter': 'Street',
  bench: 'Bench',
  bird: 'Bird', cat: 'Cat', dog: 'Dog', horse: 'Horse', sheep: 'Farm animals', cow: 'Farm animals',
  elephant: 'Wildlife', bear: 'Wildlife', zebra: 'Wildlife', giraffe: 'Wildlife',
  backpack: 'Luggage', handbag: 'Luggage', suitcase: 'Luggage', umbrella: 'Umbrella', tie: 'Tie',
  frisbee: 'Sports', skis: 'Winter sports', snowboard: 'Winter sports', 'sports ball': 'Sports', kite: 'Kite',
  'baseball bat': 'Sports', 'baseball glove': 'Sports', skateboard: 'Sports', surfboard: 'Surfing',
  'tennis racket': 'Sports',
  bottle: 'Drinks', 'wine glass': 'Drinks', cup: 'Drinks',
  fork: 'Food', knife: 'Food', spoon: 'Food', bowl: 'Food', banana: 'Food', apple: 'Food', sandwich: 'Food',
  orange: 'Food', broccoli: 'Food', carrot: 'Food', 'hot dog': 'Food', pizza: 'Food', donut: 'Food', cake: 'Food',
  chair: 'Furniture', couch: 'Furniture', bed: 'Furniture', 'dining table': 'Furniture', 'potted plant': 'Plants',
  toilet: 'Bathroom', sink: 'Kitchen', microwave: 'Kitchen', oven: 'Kitchen', toaster: 'Kitchen',
  refrigerator: 'Kitchen',
  tv: 'Electronics', laptop: 'Electronics', mouse: 'Electronics', remote: 'Electronics', keyboard: 'Electronics',
  'cell phone': 'Electronics',
  book: 'Books', clock: 'Clock', vase: 'Vase', scissors: 'Scissors', 'teddy bear': 'Toys',
  'hair drier': 'Bathroom', toothbrush: 'Bathroom',
};

// Tags read from the pixels alone.
const sceneTags = ['Portrait', 'Landscape', 'Square', 'Black and white', 'Night'];

// Every tag the service can give, in a fixed order: the auto-tag list of the
// settings must hold all of them, or re-tagging would pile old tags up.
function allTags() {
  return [...new Set([...Object.values(objectTags), ...sceneTags])];
}

module.exports = { objectTags, sceneTags, allTags };
