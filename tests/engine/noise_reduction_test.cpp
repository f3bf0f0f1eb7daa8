#include "engine/noise_reduction.h"

#include <gtest/gtest.h>

#include "tests/support/speech.h"
