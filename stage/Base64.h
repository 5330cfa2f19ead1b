// Base64 (RFC 4648, standard alphabet, padded) for the payload bytes stored in scene files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stage {

std::string EncodeBase64(const std::vector<uint8_t>& bytes);
// Null for text that is not padded base64 (wrong length, foreign characters, misplaced or
// non-canonical padding). Whitespace is not accepted.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

}  // namespace stage
