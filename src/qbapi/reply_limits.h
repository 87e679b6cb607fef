// What the driver accepts of a QuickBase reply. Replies are hostile input: each way of reading
// one is bounded, so that a broken or hostile server costs a clear error ("1004", "Reply too
// large.") instead of unbounded memory or time. Sizes are in bytes.
#pragma once

#include <cstddef>

namespace kelvra {

// A reply that streams through Expat, and the raw replies (CSV, pages, downloads). QuickBase
// itself stops at 150 MB.
inline constexpr std::size_t kMaxStreamedReplyBytes = 256u << 20;

// A reply parsed into a document (schemas, logins, single-record calls). A schema of 65,535
// fields, the most a table can show as columns, is about 32 MB and 1.5 million elements and
// attributes; libxml2 spends about 120 bytes on a node, so the node budget bounds a document to
// about half a gigabyte whatever its bytes hold.
inline constexpr std::size_t kMaxDocumentReplyBytes = 64u << 20;
inline constexpr std::size_t kMaxDocumentNodes = 2u << 20;  // elements and attributes

// One text (element content) of a streamed reply; QuickBase refuses values over 0.5 MB.
inline constexpr std::size_t kMaxReplyTextBytes = 4u << 20;

// The field values and user names of one API_DoQuery reply: at about 130 bytes each in the
// record map, 140 MB. The record layer asks for pages small enough to stay below it.
inline constexpr std::size_t kMaxQueryValues = 1u << 20;

// The entries of an API_GrantedDBs reply.
inline constexpr std::size_t kMaxGrantedEntries = 1u << 17;

// A ticket: QuickBase's are under a hundred characters.
inline constexpr std::size_t kMaxTicketBytes = 1024;

}  // namespace kelvra
