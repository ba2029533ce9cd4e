// Waiting for the calling thread's windows to catch up with the X server, for the layer's
// GUI tests: no fixed pauses whose length decides a result.
#pragma once

#include <functional>

// Dispatches the calling thread's messages until it has handled every X event the server
// sent it before this call (input made by xdotool that has already exited included), every
// posted message and every paint they caused. Returns false after timeout_ms.
// NOTE: a _NET_WM_PING to a hidden window of the thread, which the layer answers only once
// the thread is idle; call it from one thread at a time.
bool settle_thread(int timeout_ms = 20000);

// Dispatches the calling thread's messages until done() holds (checked after each round) or
// timeout_ms passes; returns done().
bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000);
// Dispatches messages for about ms milliseconds.
void pump_for(int ms);
