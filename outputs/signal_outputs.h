// RED and GREEN, switched through the EAPI library.
#pragma once

#include <cstdint>

// 0 on success, 1 when the direction or the level could not be set.
int SetSignalOutput(std::uint32_t gpioId, std::uint32_t level);

// Uninitialises and unloads the EAPI library; nothing uses it afterwards.
// 0 when EApiLibUnInitialize succeeded, 1 otherwise.
int ReleaseSignalLibrary(void);
