#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The password check of a connection: the projector's greeting "PJLINK 1 <seed>" asks for it.
// At level 1 the first command carries the MD5 of the seed and the password; a projector that
// knows level 2 answers the controller's "PJLINK 2" with 16 random bytes of its own, and the
// first command then carries the controller's 16 random bytes and a SHA-256 over both.
// Pure functions, no sockets, so they can be tested against known answers and fuzzed.
namespace pjlink {

// How the projector checks the password; None where it asks for none.
enum class SecurityLevel { None, Md5, Sha256 };

using Random16 = std::array<std::uint8_t, 16>;

inline constexpr std::string_view kLevelTwoQuery = "PJLINK 2\r";

// "PJLINK 2 <32 hex digits>" (blanks around, either case): the projector's random bytes.
// Anything else, "PJLINK ERRA" included, says the projector does not take level 2.
std::optional<Random16> parseLevelTwoAnswer(std::string_view line);

// Lower-case hex: 32 digits of MD5 over seed and password.
std::string levelOnePrefix(std::string_view seed, std::string_view password);

// Our random bytes in lower-case hex (32 digits), then the lower-case hex SHA-256 (64 digits) of
// the hex text of (projector's XOR ours) followed by the password.
std::string levelTwoPrefix(const Random16 &projector, const Random16 &ours,
                           std::string_view password);

// "none", "md5", "sha256": the words scripts read.
std::string_view securityLevelName(SecurityLevel level);

} // namespace pjlink
