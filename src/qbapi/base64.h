// Base64 with the standard alphabet and "=" padding, as file attachments travel to QuickBase.
#pragma once

#include <string>
#include <string_view>

namespace kelvra {

std::string encodeBase64(std::string_view bytes);

// Reads a whole local file in binary mode and encodes it. False when the file cannot be opened
// or read (content is then left empty).
bool readFileBase64(const std::string& path, std::string& content);

}  // namespace kelvra
