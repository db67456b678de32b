// The client's reading of a command line: how the words become the line,
// and how many replies the server sends for it.
#pragma once

#include <cstddef>

// Room for the longest line the server accepts in one datagram, its CR LF
// and a NUL.
inline constexpr std::size_t ClientLineSize = 1024;

// The server answers a longer line with one "Error" and runs none of it;
// servers of the protocol's first description run a cut line instead.
inline constexpr std::size_t RunnableLineLength = 259;

// With its CR LF a longer line fills the server's line buffer, and the
// server drops the datagram without a reply.
inline constexpr std::size_t DeliverableLineLength = 1020;

enum JoinResult { Joined, JoinTooLong, JoinLineEnd };

// The words joined by single spaces, without a line end, into line (size
// bytes). JoinLineEnd: a word holds CR or LF, which would end the line early
// and drop the rest of the datagram.
JoinResult JoinWords(int count, const char *const *words, char *line, std::size_t size);

// What the server's answer to a line cannot be told from the line itself.
inline constexpr int UnknownReplyCount = -1;

// The number of replies the server sends for line (no line end), following
// its reading word by word: EXIT anywhere, the empty line, and the argument
// each command hands on to the next. UnknownReplyCount for a line on which
// servers differ: one longer than RunnableLineLength or with an unclosed
// double quote.
int CountReplies(const char *line);

// Whether a reply says that its command failed.
int IsErrorReply(const char *reply, std::size_t length);
