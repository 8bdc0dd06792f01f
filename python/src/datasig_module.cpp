// SPDX-License-Identifier: MIT
// datasig._datasig: libvalidate for Python. Every check runs without the
// GIL, so that threads check side by side.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "result.hpp"
#include "validate.h"

namespace {

// Below this, a chunk is taken faster than the GIL is let go and taken back.
constexpr Py_ssize_t kReleaseGilFrom = Py_ssize_t{8} * 1024;

PyObject* status_error(validate_status status)
{
    if (status == VALIDATE_ERROR_MEMORY) {
        return PyErr_NoMemory();
    }
    PyErr_SetString(status == VALIDATE_ERROR_SIGN ? PyExc_ValueError : PyExc_SystemError,
                    validate_status_message(status));
    return nullptr;
}

// OSError(errno, strerror, filename) picks the subclass: FileNotFoundError...
PyObject* os_error(int error, PyObject* filename)
{
    return PyObject_CallFunction(PyExc_OSError, "isO", error, std::strerror(error), filename);
}

// ---- Checker

struct CheckerObject {
    PyObject_HEAD
    validate_checker* checker;
    // Held while the checker works, which may be without the GIL.
    PyThread_type_lock lock;
};

CheckerObject* as_checker(PyObject* self)
{
    return reinterpret_cast<CheckerObject*>(self);
}

void lock_checker(CheckerObject* self)
{
    if (PyThread_acquire_lock(self->lock, NOWAIT_LOCK) == 0) {
        Py_BEGIN_ALLOW_THREADS
        PyThread_acquire_lock(self->lock, WAIT_LOCK);
        Py_END_ALLOW_THREADS
    }
}

PyObject* checker_update(PyObject* self, PyObject* data)
{
    Py_buffer view;
    if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0) {
        return nullptr;
    }
    CheckerObject* checker = as_checker(self);
    if (view.len >= kReleaseGilFrom) {
        Py_BEGIN_ALLOW_THREADS
        PyThread_acquire_lock(checker->lock, WAIT_LOCK);
        validate_checker_update(checker->checker, view.buf, static_cast<std::size_t>(view.len));
        PyThread_release_lock(checker->lock);
        Py_END_ALLOW_THREADS
    } else {
        lock_checker(checker);
        validate_checker_update(checker->checker, view.buf, static_cast<std::size_t>(view.len));
        PyThread_release_lock(checker->lock);
    }
    PyBuffer_Release(&view);
    Py_RETURN_NONE;
}

PyObject* checker_finish(PyObject* self, PyObject*)
{
    CheckerObject* checker = as_checker(self);
    validate_findings findings = empty_findings();
    validate_status status;
    Py_BEGIN_ALLOW_THREADS
    PyThread_acquire_lock(checker->lock, WAIT_LOCK);
    status = validate_checker_finish(checker->checker, &findings);
    PyThread_release_lock(checker->lock);
    Py_END_ALLOW_THREADS
    return status == VALIDATE_OK ? new_result(findings) : status_error(status);
}

PyObject* checker_reset(PyObject* self, PyObject*)
{
    CheckerObject* checker = as_checker(self);
    lock_checker(checker);
    validate_checker_reset(checker->checker);
    PyThread_release_lock(checker->lock);
    Py_RETURN_NONE;
}

void checker_dealloc(PyObject* self)
{
    CheckerObject* checker = as_checker(self);
    validate_checker_free(checker->checker);
    if (checker->lock != nullptr) {
        PyThread_free_lock(checker->lock);
    }
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* checker_new(PyTypeObject* type, PyObject* args, PyObject* kwargs)
{
    static const char* keywords[] = {"data", nullptr};
    PyObject* data = nullptr;
    if (PyArg_ParseTupleAndKeywords(args, kwargs, "|O:Checker", const_cast<char**>(keywords),
                                    &data) == 0) {
        return nullptr;
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) {
        return nullptr;
    }
    CheckerObject* checker = as_checker(self);
    checker->checker = validate_checker_new();
    checker->lock = PyThread_allocate_lock();
    if (checker->checker == nullptr || checker->lock == nullptr) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    if (data != nullptr && data != Py_None) {
        PyObject* none = checker_update(self, data);
        if (none == nullptr) {
            Py_DECREF(self);
            return nullptr;
        }
        Py_DECREF(none);
    }
    return self;
}

PyMethodDef checker_methods[] = {
    {"update", checker_update, METH_O,
     "update(data, /)\n--\n\nTakes the next bytes of the file: any bytes-like object."},
    {"finish", checker_finish, METH_NOARGS,
     "finish()\n--\n\nEnds the file and returns its Result; the checker then starts a new file."},
    {"reset", checker_reset, METH_NOARGS,
     "reset()\n--\n\nDrops the bytes taken since the last finish and starts a new file."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot checker_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(checker_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(checker_dealloc)},
    {Py_tp_methods, checker_methods},
    {Py_tp_doc, const_cast<char*>(
                    "Checker(data=None)\n--\n\n"
                    "Checks a data file given in chunks: update() any number of times, then "
                    "finish().\nHow the bytes are split does not change the result.")},
    {0, nullptr},
};

PyType_Spec checker_spec = {"datasig.Checker", sizeof(CheckerObject), 0, Py_TPFLAGS_DEFAULT,
                            checker_slots};

// ---- Files

// Each thread keeps a checker, so that files in a row that share a key line
// set up the key once: validate_check_file makes a checker, and so a key
// set-up, for each file, which costs twice the check of a 4 KiB file.
struct ThreadChecker {
    validate_checker* checker = nullptr;
    ThreadChecker() = default;
    ThreadChecker(const ThreadChecker&) = delete;
    ThreadChecker& operator=(const ThreadChecker&) = delete;
    ~ThreadChecker()
    {
        validate_checker_free(checker);
    }
};

thread_local ThreadChecker thread_checker;

ThreadChecker* this_threads_checker()
{
    if (thread_checker.checker == nullptr) {
        thread_checker.checker = validate_checker_new();
    }
    if (thread_checker.checker == nullptr) {
        PyErr_NoMemory();
        return nullptr;
    }
    return &thread_checker;
}

// 0 when a check came to a verdict, else the errno of its failed open or
// read.
int error_of(const validate_findings& findings)
{
    if (findings.status == VALIDATE_OK) {
        return 0;
    }
    return findings.error_number != 0 ? findings.error_number : EIO;
}

// The file name as os.fspath gives it (str or bytes), and its bytes.
bool file_name(PyObject* path, PyObject** name, PyObject** encoded)
{
    *name = PyOS_FSPath(path);
    if (*name == nullptr) {
        return false;
    }
    if (PyUnicode_FSConverter(*name, encoded) == 0) {
        Py_CLEAR(*name);
        return false;
    }
    return true;
}

// One file, read as validate reads it.
PyObject* check_path(PyObject*, PyObject* path)
{
    PyObject* name = nullptr;
    PyObject* encoded = nullptr;
    if (!file_name(path, &name, &encoded)) {
        return nullptr;
    }
    validate_findings findings = empty_findings();
    validate_status status;
    Py_BEGIN_ALLOW_THREADS
    status = validate_inspect_file(PyBytes_AS_STRING(encoded), &findings);
    Py_END_ALLOW_THREADS
    PyObject* outcome = nullptr;
    if (status == VALIDATE_OK) {
        outcome = new_result(findings);
    } else if (status != VALIDATE_ERROR_OPEN && status != VALIDATE_ERROR_READ) {
        status_error(status);
    } else if (PyObject* exception = os_error(error_of(findings), name);
               exception != nullptr) {
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception);
        Py_DECREF(exception);
    }
    Py_DECREF(encoded);
    Py_DECREF(name);
    return outcome;
}

// Checks a batch of files with one release of the GIL, with this thread's
// checker, which sets up the keys of files with key lines of their own side
// by side: a list of a Result or an OSError for each.
PyObject* check_paths(PyObject*, PyObject* paths)
{
    PyObject* sequence = PySequence_Fast(paths, "check_paths() takes a sequence of paths");
    if (sequence == nullptr) {
        return nullptr;
    }
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(sequence);
    PyObject* names = PyList_New(count);
    PyObject* encoded = PyList_New(count);
    std::unique_ptr<validate_findings[]> results(new (std::nothrow) validate_findings[count]);
    std::unique_ptr<int[]> errors(new (std::nothrow) int[count]);
    std::unique_ptr<const char*[]> paths_text(new (std::nothrow) const char*[count]);
    PyObject* outcomes = nullptr;
    ThreadChecker* own = nullptr;
    if (names == nullptr || encoded == nullptr || !results || !errors || !paths_text) {
        if (PyErr_Occurred() == nullptr) {
            PyErr_NoMemory();
        }
        goto done;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* name = nullptr;
        PyObject* bytes = nullptr;
        if (!file_name(PySequence_Fast_GET_ITEM(sequence, i), &name, &bytes)) {
            goto done;
        }
        PyList_SET_ITEM(names, i, name);
        PyList_SET_ITEM(encoded, i, bytes);
    }
    own = this_threads_checker();
    if (own == nullptr) {
        goto done;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        paths_text[i] = PyBytes_AS_STRING(PyList_GET_ITEM(encoded, i));
        results[i] = empty_findings();
    }
    Py_BEGIN_ALLOW_THREADS
    validate_checker_inspect_files(own->checker, paths_text.get(), static_cast<std::size_t>(count),
                                   results.get());
    Py_END_ALLOW_THREADS
    for (Py_ssize_t i = 0; i < count; ++i) {
        errors[i] = error_of(results[i]);
    }
    outcomes = PyList_New(count);
    for (Py_ssize_t i = 0; outcomes != nullptr && i < count; ++i) {
        PyObject* outcome = errors[i] == 0 ? new_result(results[i])
                                           : os_error(errors[i], PyList_GET_ITEM(names, i));
        if (outcome == nullptr) {
            Py_CLEAR(outcomes);
        } else {
            PyList_SET_ITEM(outcomes, i, outcome);
        }
    }
done:
    Py_XDECREF(encoded);
    Py_XDECREF(names);
    Py_DECREF(sequence);
    return outcomes;
}

// ---- Bytes held in memory

PyObject* check_bytes(PyObject*, PyObject* data)
{
    Py_buffer view;
    if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0) {
        return nullptr;
    }
    ThreadChecker* own = this_threads_checker();
    PyObject* outcome = nullptr;
    if (own != nullptr) {
        validate_findings findings = empty_findings();
        validate_status status;
        Py_BEGIN_ALLOW_THREADS
        validate_checker_reset(own->checker);
        validate_checker_update(own->checker, view.buf, static_cast<std::size_t>(view.len));
        status = validate_checker_finish(own->checker, &findings);
        Py_END_ALLOW_THREADS
        outcome = status == VALIDATE_OK ? new_result(findings) : status_error(status);
    }
    PyBuffer_Release(&view);
    return outcome;
}

PyObject* sign(PyObject*, PyObject* data)
{
    Py_buffer view;
    if (PyObject_GetBuffer(data, &view, PyBUF_SIMPLE) < 0) {
        return nullptr;
    }
    const auto size = static_cast<std::size_t>(view.len);
    const std::size_t bound = validate_sign_bound(size);
    PyObject* out = bound > static_cast<std::size_t>(PY_SSIZE_T_MAX)
                        ? PyErr_NoMemory()
                        : PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bound));
    if (out != nullptr) {
        std::size_t out_size = 0;
        validate_status status;
        Py_BEGIN_ALLOW_THREADS
        status = validate_sign(view.buf, size, PyBytes_AS_STRING(out), bound, &out_size);
        Py_END_ALLOW_THREADS
        if (status != VALIDATE_OK) {
            Py_CLEAR(out);
            status_error(status);
        } else {
            _PyBytes_Resize(&out, static_cast<Py_ssize_t>(out_size));
        }
    }
    PyBuffer_Release(&view);
    return out;
}

PyObject* explain(PyObject*, PyObject* args)
{
    Py_buffer view;
    PyObject* name = nullptr;
    if (PyArg_ParseTuple(args, "y*O&:explain", &view, PyUnicode_FSConverter, &name) == 0) {
        return nullptr;
    }
    // Most reports fit; a longer one is made again with room for it.
    std::size_t capacity = std::size_t{16} * 1024;
    char* report = nullptr;
    std::size_t length = 0;
    validate_status status = VALIDATE_ERROR_SPACE;
    while (status == VALIDATE_ERROR_SPACE) {
        PyMem_Free(report);
        report = static_cast<char*>(PyMem_Malloc(capacity));
        if (report == nullptr) {
            status = VALIDATE_ERROR_MEMORY;
            break;
        }
        Py_BEGIN_ALLOW_THREADS
        status = validate_explain_report(view.buf, static_cast<std::size_t>(view.len),
                                         PyBytes_AS_STRING(name), report, capacity, &length,
                                         nullptr);
        Py_END_ALLOW_THREADS
        capacity = length + 1;
    }
    PyObject* text = status == VALIDATE_OK
                         ? PyUnicode_DecodeUTF8(report, static_cast<Py_ssize_t>(length),
                                                "surrogateescape")
                         : status_error(status);
    PyMem_Free(report);
    Py_DECREF(name);
    PyBuffer_Release(&view);
    return text;
}

PyMethodDef module_methods[] = {
    {"check_bytes", check_bytes, METH_O, "Checks a data file held in a bytes-like object."},
    {"check_path", check_path, METH_O, "Checks the data file at a path."},
    {"check_paths", check_paths, METH_O,
     "Checks the files at a sequence of paths: a Result or an OSError for each."},
    {"sign", sign, METH_O, "The data file signed, as datasig sign writes it."},
    {"explain", explain, METH_VARARGS, "The report datasig explain prints for a data file."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "datasig._datasig",
    "libvalidate's check, signing and explaining; the datasig package wraps it.",
    -1,
    module_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

// Python looks for this name.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
PyMODINIT_FUNC PyInit__datasig(void)
{
    PyObject* module = PyModule_Create(&module_definition);
    if (module == nullptr) {
        return nullptr;
    }
    PyObject* checker_type = PyType_FromSpec(&checker_spec);
    if (!add_result_types(module) || checker_type == nullptr ||
        PyModule_AddObjectRef(module, "Checker", checker_type) < 0 ||
        PyModule_AddStringConstant(module, "VERSION", validate_version()) < 0) {
        Py_XDECREF(checker_type);
        Py_DECREF(module);
        return nullptr;
    }
    Py_DECREF(checker_type);
    return module;
}
