#include "engine/auto_notch.h"

#include <gtest/gtest.h>

#include "tests/support/speech.h"
