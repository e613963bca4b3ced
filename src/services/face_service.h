#pragma once
// The face requests to the local AI service (the auto-tagging service's
// process and port) and the four people actions of the batch processor:
// recognize, revoke the last recognition, forget a person, wipe everyone.

#include "metadata/people_region_xmp.h"

#include <string>
#include <vector>

namespace sortwell::services {

/// Sends one request line (a line feed is added when missing) and returns
/// the reply, read until a line feed or the end of the connection. Empty
/// when Winsock, the socket, the connection, the send or the receive fail.
std::string face_service_request(const std::string& text);

/// Asks the service to keep the regions a photo had before a recognition,
/// for revoke_faces. A failure is only logged: the recognition goes on.
void take_undo_snapshot(const std::wstring& path, const std::vector<qlm::metadata::people_region>& regions);

/// The recognize_faces action: asks the service who is in the photo and
/// merges the named faces into its people regions. Skipped (logged) unless
/// the suite and people recognition are enabled and consent was given, and
/// for folders. Failures throw exceptions::formatted_runtime_error.
void recognize_faces(const std::wstring& path);

/// The revoke_faces action: restores the regions of the service's snapshot.
void revoke_faces(const std::wstring& path);

/// The forget_person action: removes every region of that name (ignoring
/// case). No service involved.
void forget_person(const std::wstring& path, const std::wstring& name);

/// The wipe_all_people action: removes every region. No service involved.
void wipe_all_people(const std::wstring& path);

}  // namespace sortwell::services
