// The command language: line assembly, RESET and EXIT, tokens, commands, replies.
#pragma once

#include <cstdint>

#include "command/types.h"

inline constexpr int TokenSlots = 200;
inline constexpr int MaxTokens = TokenSlots - 1;
inline constexpr std::size_t WorkingLineSize = 260;
inline constexpr std::size_t ReplyTextSize = 256;

// newText, pendingLine and replyAddress are the caller's buffers (NewTextSize,
// PendingLineSize and ReplyAddressSize bytes) and are all written to.
// Returns 1 when the length rule dropped the text, otherwise 0.
int ProcessCommandData(char *newText, char *pendingLine, char *replyAddress,
                       ResetDeadline *resetDeadline);

// Splits text in place; tokenList has TokenSlots slots and ends at the first null.
void SplitTokens(char *text, char **tokenList);

// Upper-cases in place; the commands are ASCII, so only a to z change.
void UpperCaseText(char *text);

// atoi as the C library defines it, with values beyond 32 bits saturated
// instead of undefined.
std::int32_t ReadWholeNumber(const char *text);
