#pragma once
// Posting work from any thread to the user-interface thread.
//
// PostToUi queues call to run on the user-interface thread, later, and only while token's owner
// still lives: the call runs under a lease of the token (LifetimeGuard.h), and the owner closes
// its guard on the user-interface thread before it is destroyed, so a posted call can never reach
// a destroyed object. Calls run in the order they were posted.
//
// Threads: any thread may call PostToUi; the calls run on the user-interface thread.
#include "LifetimeGuard.h"

#include <functional>

void PostToUi(const CLifetimeToken& token, std::function<void()> call);
