#pragma once

#include <functional>

// Runs work on a thread of its own while the GUI thread waits with the hourglass: the windows
// keep repainting and timers run, but no click, key or close request reaches the program
// meanwhile, so no second command starts. Exceptions of the work are rethrown here.
//
// With abandonable, Escape stops the waiting: RunInWorker then returns false at once and the
// work ends on its own later, unobserved. Such work must own everything it touches (capture
// by value or shared pointer), never refer to the caller's stack.
bool RunInWorker(std::function<void()> work, bool abandonable = false);

// The same wait for work that can be stopped: Escape and Ctrl+Backspace call cancel on the
// GUI thread (each time they are pressed) and the wait goes on until the work has ended.
// A request to close a window (the user's, or a termination signal's) cancels as well and is
// refused for the moment; it can be made again once the work has ended.
void RunInWorkerCancellable(std::function<void()> work, std::function<void()> cancel);

// Whether the GUI thread is inside one of these waits now (a close must wait for its end).
bool WorkerWaitRunning();
