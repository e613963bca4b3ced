#pragma once
// The desktop.ini mirror of a folder's tags and rating: the suite's own
// "Sortwell" section, read back by the suite, and "Prop5" of the summary
// information section, which Explorer shows as the folder's tags.

#include <cstdint>
#include <string>
#include <vector>

namespace qlm::metadata {

class metadata_handle;

/// The folder's desktop.ini: the folder, a separator unless it already ends
/// in one, "desktop.ini".
std::wstring folder_ini_path(const std::wstring& folder);

/// Mirrors the committed System.Keywords and System.Rating of a folder
/// handle into its desktop.ini. Profile write failures are ignored; throws
/// "Failed to get rating" when the store cannot be asked for the rating.
void write_folder_ini(const metadata_handle& handle);

/// "Tags" of "Sortwell" in the folder's desktop.ini, split on ";".
std::vector<std::wstring> read_folder_ini_tags(const std::wstring& folder);

/// "Prop5" of the summary-information section of the given ini file, without
/// its "31," type prefix, split on ";".
std::vector<std::wstring> read_folder_ini_keywords(const std::wstring& ini_path);

/// The handle's rating, or for a folder without one the "Rating" of
/// "Sortwell" capped at 5 stars.
std::uint32_t get_folder_rating(const metadata_handle& handle);

}  // namespace qlm::metadata
