// SPDX-License-Identifier: MIT
// The data file reader, which the tools and the library share in the core.
#pragma once

#include "core/reader.hpp"
