// Recognises a root hints file. named refuses to start when its hint zone
// for "." does not load, so anything else must never be stored as one.
#pragma once

#include <string_view>

namespace zephrane {

// True when, with comments (';' to the line end), a trailing CR and blank
// lines set aside, every line is a $TTL or $ORIGIN line or a record
// "owner [TTL] [IN] type data" of type NS, A or AAAA; at least one NS record
// is for "."; and every NS target has an A or AAAA record in the text.
// Names compare without regard to case; relative names take the origin.
// Only what named loads passes: addresses by the rules of inet_pton, TTLs
// ("3600", "1w2d") of at most 2147483647 seconds.
bool IsRootHints(std::string_view text);

}  // namespace zephrane
