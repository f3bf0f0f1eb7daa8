// A count of the allocations a test program makes through operator new, for
// the tests that a processing pass makes none. The program must link
// tonewell_test_allocations, which replaces operator new.
#pragma once

namespace test_support {

// Allocations made so far, in every thread.
long allocations();

}  // namespace test_support
