// Running out of memory on demand (FailingRealloc.cpp).
#pragma once

// From now on the next `allowed` allocations through Realloc succeed and
// later ones fail; -1 lets them all succeed again. Releases always work.
void FailReallocAfter(int allowed);
