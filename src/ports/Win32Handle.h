#pragma once
// The port's int handle field holds a Windows handle: kernel handles keep
// their meaning in 32 bits (so that 32- and 64-bit programs can share them),
// and INVALID_HANDLE_VALUE comes back as -1.

#include <windows.h>

#include <cstdint>

namespace carillon::detail {

inline HANDLE ToHandle(int handle) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(handle)); }
inline int FromHandle(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

// An event of the calling thread for one overlapped call at a time: a port
// is used by one thread, and every call waits for its own transfer to end.
HANDLE ThreadIoEvent();

// Waits for an overlapped transfer up to timeoutMs or until wake is
// signalled. Otherwise the transfer is cancelled and waited out, so that the
// OVERLAPPED may go. Returns WAIT_OBJECT_0 when the transfer completed (also
// when it brought data while being cancelled), WAIT_TIMEOUT, or
// WAIT_ABANDONED when woken.
DWORD WaitTransfer(HANDLE device, OVERLAPPED& overlapped, HANDLE wake, std::uint32_t timeoutMs);

}  // namespace carillon::detail
