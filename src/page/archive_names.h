// The names of the archive on disk: one folder per character ("qz" + its
// number), one file per turn, named from the number and the turn key.
#pragma once

#include <string>
#include <string_view>

namespace qz {

std::string characterFolder(std::string_view character);

// True when a text from a page can be part of a file name on every system the
// archive lives on: none of \\ / : * ? " < > | and no byte below 0x20, so a
// page can never steer a path or name an NTFS stream.
bool isPortableNamePart(std::string_view text);

// "qz1234/1234-007.htm" for the key "7": a numbered key of up to three
// characters is padded with zeros to three ("" gives "00"), a longer one and
// an oli key ("ol3,15") are used whole, so no two keys share a file.
std::string turnFileName(std::string_view character, std::string_view key);

}  // namespace qz
