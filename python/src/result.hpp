// SPDX-License-Identifier: MIT
// datasig.Result and datasig.Warning: what the check of one data file found,
// from libvalidate's findings.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "validate.h"

// Makes the types and adds them to the module; false with an exception set.
bool add_result_types(PyObject* module);

// A new Result holding findings; null with an exception set.
PyObject* new_result(const validate_findings& findings);

// A validate_findings whose size is set, for a call to fill in.
validate_findings empty_findings();
