#include "outputs/signal_outputs.h"

#include "command/types.h"
#include "outputs/eapi.h"
#include "outputs/library.h"

namespace {

typedef EApiStatus_t (*NoArgumentFunction)(void);
typedef EApiStatus_t (*DirectionCapsFunction)(EApiId_t, std::uint32_t *, std::uint32_t *);
typedef EApiStatus_t (*GpioFunction)(EApiId_t, std::uint32_t, std::uint32_t);

enum LoadState { NotLoaded, Loaded, Unavailable };

// Written by the main thread before the listener starts and after it has
// been stopped, so the listener only ever reads it.
struct {
	LoadState state;
	LibraryHandle library;
	NoArgumentFunction initialize;
	NoArgumentFunction uninitialize;
	DirectionCapsFunction directionCaps;
	GpioFunction setDirection;
	GpioFunction setLevel;
} eapi;

template <typename Function>
Function Resolve(const char *name)
{
	return reinterpret_cast<Function>(LibrarySymbol(eapi.library, name));
}

// Loads the library once; after a failed load or the release it stays away.
int EnsureLoaded(void)
{
	if (eapi.state == NotLoaded) {
		eapi.state = Unavailable;
		eapi.library = LibraryOpen(EApiLibraryName);
		if (eapi.library != nullptr) {
			eapi.initialize = Resolve<NoArgumentFunction>("EApiLibInitialize");
			eapi.uninitialize = Resolve<NoArgumentFunction>("EApiLibUnInitialize");
			eapi.directionCaps = Resolve<DirectionCapsFunction>("EApiGPIOGetDirectionCaps");
			eapi.setDirection = Resolve<GpioFunction>("EApiGPIOSetDirection");
			eapi.setLevel = Resolve<GpioFunction>("EApiGPIOSetLevel");
			eapi.state = Loaded;
		}
	}
	return eapi.state == Loaded;
}

} // namespace

EApiStatus_t EApiLibInitialize(void)
{
	if (!EnsureLoaded() || eapi.initialize == nullptr)
		return EAPI_STATUS_NOT_INITIALIZED;
	return eapi.initialize();
}

EApiStatus_t EApiLibUnInitialize(void)
{
	if (!EnsureLoaded() || eapi.uninitialize == nullptr)
		return EAPI_STATUS_NOT_INITIALIZED;
	return eapi.uninitialize();
}

EApiStatus_t EApiGPIOGetDirectionCaps(EApiId_t id, std::uint32_t *inputs, std::uint32_t *outputs)
{
	if (!EnsureLoaded() || eapi.directionCaps == nullptr)
		return EAPI_STATUS_NOT_INITIALIZED;
	return eapi.directionCaps(id, inputs, outputs);
}

EApiStatus_t EApiGPIOSetDirection(EApiId_t id, std::uint32_t bitmask, std::uint32_t direction)
{
	if (!EnsureLoaded() || eapi.setDirection == nullptr)
		return EAPI_STATUS_NOT_INITIALIZED;
	return eapi.setDirection(id, bitmask, direction);
}

EApiStatus_t EApiGPIOSetLevel(EApiId_t id, std::uint32_t bitmask, std::uint32_t level)
{
	if (!EnsureLoaded() || eapi.setLevel == nullptr)
		return EAPI_STATUS_NOT_INITIALIZED;
	return eapi.setLevel(id, bitmask, level);
}

int SetSignalOutput(std::uint32_t gpioId, std::uint32_t level)
{
	if (EApiGPIOSetDirection(gpioId, EAPI_GPIO_BITMASK_ALL, EAPI_GPIO_OUTPUT) != EAPI_STATUS_SUCCESS)
		return 1;
	if (EApiGPIOSetLevel(gpioId, EAPI_GPIO_BITMASK_ALL, level) != EAPI_STATUS_SUCCESS)
		return 1;
	return 0;
}

int ReleaseSignalLibrary(void)
{
	const EApiStatus_t status = EApiLibUnInitialize();
	if (eapi.state == Loaded)
		LibraryClose(eapi.library);
	eapi = {};
	eapi.state = Unavailable;
	return status == EAPI_STATUS_SUCCESS ? 0 : 1;
}
