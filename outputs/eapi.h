// The part of the PICMG Embedded API that the program uses. The vendor's
// library is loaded at run time; these wrappers call into it and answer
// EAPI_STATUS_NOT_INITIALIZED when it or a function is missing.
#pragma once

#include <cstdint>

typedef std::uint32_t EApiStatus_t;
typedef std::uint32_t EApiId_t;

inline constexpr EApiStatus_t EAPI_STATUS_SUCCESS = 0x00000000;
inline constexpr EApiStatus_t EAPI_STATUS_NOT_INITIALIZED = 0xFFFFFFFF;
inline constexpr std::uint32_t EAPI_GPIO_BITMASK_ALL = 0xFFFFFFFF;
inline constexpr std::uint32_t EAPI_GPIO_OUTPUT = 0;

EApiStatus_t EApiLibInitialize(void);
EApiStatus_t EApiLibUnInitialize(void);
EApiStatus_t EApiGPIOGetDirectionCaps(EApiId_t id, std::uint32_t *inputs, std::uint32_t *outputs);
EApiStatus_t EApiGPIOSetDirection(EApiId_t id, std::uint32_t bitmask, std::uint32_t direction);
EApiStatus_t EApiGPIOSetLevel(EApiId_t id, std::uint32_t bitmask, std::uint32_t level);
