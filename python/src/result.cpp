// SPDX-License-Identifier: MIT
// datasig.Result, which holds libvalidate's findings of one file, and
// datasig.Warning, a named tuple for each warning among them.
#include "result.hpp"

#include <structmember.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct ResultObject {
    PyObject_HEAD
    validate_findings findings;
};

PyTypeObject* result_type = nullptr;
PyTypeObject* warning_type = nullptr;

const validate_findings& findings_of(PyObject* self)
{
    return reinterpret_cast<ResultObject*>(self)->findings;
}

unsigned long long number(std::uint64_t value)
{
    return static_cast<unsigned long long>(value);
}

void result_dealloc(PyObject* self)
{
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* result_passed(PyObject* self, void*)
{
    return PyBool_FromLong(findings_of(self).verdict == VALIDATE_VERDICT_PASSED ? 1 : 0);
}

const char* verdict_name(validate_verdict verdict)
{
    switch (verdict) {
    case VALIDATE_VERDICT_PASSED:
        return "passed";
    case VALIDATE_VERDICT_UNSIGNED:
        return "unsigned";
    default:
        return "altered";
    }
}

PyObject* result_verdict(PyObject* self, void*)
{
    return PyUnicode_FromString(verdict_name(findings_of(self).verdict));
}

PyObject* result_digest(PyObject* self, void*)
{
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(findings_of(self).digest),
                                     VALIDATE_DIGEST_SIZE);
}

PyObject* result_expected(PyObject* self, void*)
{
    const validate_findings& f = findings_of(self);
    return Py_BuildValue("(ss)", f.expected[0], f.expected[1]);
}

PyObject* result_found(PyObject* self, void*)
{
    const validate_findings& f = findings_of(self);
    return Py_BuildValue("(yy)", f.found[0], f.found[1]);
}

PyObject* result_found_lines(PyObject* self, void*)
{
    const validate_findings& f = findings_of(self);
    return Py_BuildValue("(KK)", number(f.found_line[0]), number(f.found_line[1]));
}

PyObject* result_key_line(PyObject* self, void*)
{
    return PyBytes_FromString(findings_of(self).key_line);
}

PyObject* new_warning(const validate_warning& warning)
{
    char text[512];
    std::size_t length = 0;
    if (validate_warning_text(&warning, text, sizeof text, &length) != VALIDATE_OK) {
        text[0] = '\0';
    }
    PyObject* tuple = PyStructSequence_New(warning_type);
    if (tuple == nullptr) {
        return nullptr;
    }
    PyObject* const fields[] = {
        PyUnicode_FromString(validate_warning_kind_name(warning.kind)),
        PyLong_FromUnsignedLongLong(number(warning.line)),
        PyLong_FromUnsignedLongLong(number(warning.column)),
        PyLong_FromUnsignedLongLong(number(warning.last_column)),
        PyLong_FromLong(warning.slot),
        PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "replace"),
    };
    bool made = true;
    for (Py_ssize_t i = 0; i < 6; ++i) {
        made = made && fields[i] != nullptr;
        PyStructSequence_SET_ITEM(tuple, i, fields[i]);
    }
    if (!made) {
        Py_DECREF(tuple);
        return nullptr;
    }
    return tuple;
}

// The warnings kept, which are all of them up to VALIDATE_FINDINGS_WARNINGS.
PyObject* result_warnings(PyObject* self, void*)
{
    const validate_findings& f = findings_of(self);
    const auto kept = static_cast<Py_ssize_t>(
        f.warning_count < VALIDATE_FINDINGS_WARNINGS ? f.warning_count : VALIDATE_FINDINGS_WARNINGS);
    PyObject* warnings = PyTuple_New(kept);
    for (Py_ssize_t i = 0; warnings != nullptr && i < kept; ++i) {
        PyObject* warning = new_warning(f.warnings[i]);
        if (warning == nullptr) {
            Py_CLEAR(warnings);
        } else {
            PyTuple_SET_ITEM(warnings, i, warning);
        }
    }
    return warnings;
}

PyObject* result_repr(PyObject* self)
{
    const validate_findings& f = findings_of(self);
    char digest[17];
    for (std::size_t i = 0; i < 8; ++i) {
        std::snprintf(digest + 2 * i, 3, "%02x", f.digest[i]);
    }
    return PyUnicode_FromFormat(
        "<datasig.Result passed=%s verdict=%s digest=%s... found_lines=(%llu, %llu) "
        "key_line_number=%llu digested_pieces=%llu ignored_pieces=%llu signature_pieces=%llu "
        "warning_count=%llu>",
        f.verdict == VALIDATE_VERDICT_PASSED ? "True" : "False", verdict_name(f.verdict), digest,
        number(f.found_line[0]), number(f.found_line[1]), number(f.key_line_number),
        number(f.digested_pieces), number(f.ignored_pieces), number(f.signature_pieces),
        number(f.warning_count));
}

bool same_findings(const validate_findings& a, const validate_findings& b)
{
    bool same = a.verdict == b.verdict && std::memcmp(a.digest, b.digest, sizeof a.digest) == 0 &&
                std::strcmp(a.key_line, b.key_line) == 0 &&
                a.key_line_number == b.key_line_number && a.key_lines == b.key_lines &&
                a.digested_pieces == b.digested_pieces && a.ignored_pieces == b.ignored_pieces &&
                a.signature_pieces == b.signature_pieces && a.warning_count == b.warning_count;
    for (int slot = 0; slot < 2; ++slot) {
        same = same && std::strcmp(a.expected[slot], b.expected[slot]) == 0 &&
               std::strcmp(a.found[slot], b.found[slot]) == 0 &&
               a.found_line[slot] == b.found_line[slot];
    }
    for (std::uint64_t i = 0; same && i < a.warning_count && i < VALIDATE_FINDINGS_WARNINGS; ++i) {
        const validate_warning& x = a.warnings[i];
        const validate_warning& y = b.warnings[i];
        same = x.kind == y.kind && x.slot == y.slot && x.line == y.line && x.column == y.column &&
               x.last_column == y.last_column && x.other_line == y.other_line &&
               x.count == y.count && x.byte == y.byte;
    }
    return same;
}

PyObject* result_compare(PyObject* self, PyObject* other, int op)
{
    if (!PyObject_TypeCheck(other, result_type) || (op != Py_EQ && op != Py_NE)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    const bool same = same_findings(findings_of(self), findings_of(other));
    return PyBool_FromLong(same == (op == Py_EQ) ? 1 : 0);
}

#define RESULT_NUMBER(name, doc)                                                                   \
    {                                                                                              \
        #name, T_ULONGLONG, offsetof(ResultObject, findings) + offsetof(validate_findings, name),   \
            READONLY, doc                                                                          \
    }

PyMemberDef result_members[] = {
    RESULT_NUMBER(key_line_number, "The line of the key line in effect, from 1; 0 without one."),
    RESULT_NUMBER(key_lines, "How many key lines the file has; the last is in effect."),
    RESULT_NUMBER(digested_pieces, "Pieces of at most 79 characters that were digested."),
    RESULT_NUMBER(ignored_pieces, "Pieces that were ignored: comments, blank lines."),
    RESULT_NUMBER(signature_pieces, "Pieces that were signature lines."),
    RESULT_NUMBER(warning_count, "How many warnings the check found; warnings holds the first 32."),
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef result_getset[] = {
    {"passed", result_passed, nullptr, "True when the signature lines match.", nullptr},
    {"verdict", result_verdict, nullptr,
     "'passed', 'altered', or 'unsigned' for a file without a signature line.", nullptr},
    {"digest", result_digest, nullptr, "The SHA-512 digest of the content lines, 64 bytes.",
     nullptr},
    {"expected", result_expected, nullptr,
     "The two signature lines the content requires, str: 'G' and 64 uppercase hex digits.",
     nullptr},
    {"found", result_found, nullptr,
     "The file's first and second signature lines as read, bytes, line end included "
     "(b'' when missing).",
     nullptr},
    {"found_lines", result_found_lines, nullptr,
     "The lines the found signature lines were read from, from 1; 0 when missing.", nullptr},
    {"key_line", result_key_line, nullptr,
     "The key line in effect as digested, bytes (b'' without one).", nullptr},
    {"warnings", result_warnings, nullptr,
     "What the signature does not protect, as datasig explain lists it: Warning tuples.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot result_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(result_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_compare)},
    {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
    {Py_tp_members, result_members},
    {Py_tp_getset, result_getset},
    {Py_tp_doc, const_cast<char*>("What the check of one data file found.")},
    {0, nullptr},
};

PyType_Spec result_spec = {"datasig.Result", sizeof(ResultObject), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, result_slots};

PyStructSequence_Field warning_fields[] = {
    {"kind", "The kind, such as 'nul_byte' or 'missing_signature'."},
    {"line", "The line it concerns, from 1; 0 for the whole file."},
    {"column", "The first column concerned, from 1; 0 for none."},
    {"last_column", "The last column concerned; 0 for none."},
    {"slot", "The signature slot concerned, 1 or 2; 0 for none."},
    {"text", "The line datasig explain prints for it."},
    {nullptr, nullptr},
};

PyStructSequence_Desc warning_desc = {
    "datasig.Warning", "What the signature of a data file does not protect, and where.",
    warning_fields, 6};

} // namespace

validate_findings empty_findings()
{
    validate_findings findings{};
    findings.size = sizeof findings;
    return findings;
}

PyObject* new_result(const validate_findings& findings)
{
    ResultObject* self = PyObject_New(ResultObject, result_type);
    if (self != nullptr) {
        self->findings = findings;
    }
    return reinterpret_cast<PyObject*>(self);
}

bool add_result_types(PyObject* module)
{
    result_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&result_spec));
    warning_type = PyStructSequence_NewType(&warning_desc);
    return result_type != nullptr && warning_type != nullptr &&
           PyModule_AddObjectRef(module, "Result", reinterpret_cast<PyObject*>(result_type)) == 0 &&
           PyModule_AddObjectRef(module, "Warning", reinterpret_cast<PyObject*>(warning_type)) == 0;
}
