// SPDX-License-Identifier: MIT
// The object of a file for datasig's JSON Lines, field by field.
#include "datasig/json_lines.hpp"

#include <cstdint>
#include <string_view>

#include "datasig/json_writer.hpp"

namespace {

const char* status_name(Verdict verdict)
{
    switch (verdict) {
    case Verdict::passed:
        return "passed";
    case Verdict::altered:
        return "altered";
    case Verdict::never_signed:
        return "unsigned";
    }
    return "altered";
}

std::string begin_object(const std::string& name, const char* status)
{
    std::string out = "{";
    add_number(out, "schema", kJsonSchema);
    add_bytes(out, "name", name);
    add_string(out, "status", status);
    return out;
}

void add_key_line(std::string& out, const Findings& findings)
{
    if (findings.key_line_number == 0) {
        add_null(out, "key_line");
        return;
    }
    add_key(out, "key_line");
    out += '{';
    add_number(out, "line", findings.key_line_number);
    add_bytes(out, "text", findings.key_line);
    add_number(out, "count", findings.key_lines);
    out += '}';
}

// A slot's found line as read, without its line end.
std::string_view found_text(const char* slot)
{
    std::string_view text = slot;
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    return text;
}

void add_signatures(std::string& out, const Findings& findings)
{
    add_key(out, "signatures");
    out += '[';
    for (std::size_t slot = 0; slot < 2; ++slot) {
        out += slot == 0 ? "{" : ",{";
        add_number(out, "slot", slot + 1);
        add_string(out, "expected", findings.expected[slot]);
        if (findings.found_line[slot] == 0) {
            add_null(out, "line");
            add_null(out, "found");
        } else {
            add_number(out, "line", findings.found_line[slot]);
            add_bytes(out, "found", found_text(findings.found[slot]));
        }
        const std::size_t difference =
            first_difference(findings.found[slot], findings.expected[slot]);
        add_bool(out, "matches", difference == 0);
        if (difference != 0 && findings.found_line[slot] != 0) {
            add_number(out, "differs_at", difference);
        }
        out += '}';
    }
    out += ']';
}

bool has_count(WarningKind kind)
{
    return kind == WarningKind::after_eof_mark || kind == WarningKind::missing_signature ||
           kind == WarningKind::extra_signature;
}

void add_warning(std::string& out, const Warning& warning)
{
    out += '{';
    add_string(out, "kind", warning_kind_name(warning.kind));
    if (warning.line != 0) {
        add_number(out, "line", warning.line);
    }
    if (warning.column != 0) {
        add_number(out, "column", warning.column);
        add_number(out, "last_column", warning.last_column);
    }
    if (warning.slot != 0) {
        add_number(out, "slot", static_cast<std::uint64_t>(warning.slot));
    }
    if (warning.other_line != 0) {
        add_number(out, "other_line", warning.other_line);
    }
    if (has_count(warning.kind)) {
        add_number(out, "count", warning.count);
    }
    if (warning.kind == WarningKind::unchecked_part) {
        add_number(out, "byte", warning.byte);
    }
    add_string(out, "text", warning_text(warning));
    out += '}';
}

} // namespace

std::string json_line(const std::string& name, const Findings& findings)
{
    std::string out = begin_object(name, status_name(findings.verdict));
    add_string(out, "digest", digest_hex(findings));
    add_key(out, "pieces");
    out += '{';
    add_number(out, "digested", findings.digested_pieces);
    add_number(out, "ignored", findings.ignored_pieces);
    add_number(out, "signature", findings.signature_pieces);
    out += '}';
    add_key_line(out, findings);
    add_signatures(out, findings);
    add_key(out, "warnings");
    out += '[';
    for (std::size_t i = 0; i < findings.warnings.size(); ++i) {
        out += i == 0 ? "" : ",";
        add_warning(out, findings.warnings[i]);
    }
    out += "]}\n";
    return out;
}

std::string json_error_line(const std::string& name, const char* error_name,
                            const std::string& message)
{
    std::string out = begin_object(name, "error");
    add_key(out, "error");
    out += '{';
    add_string(out, "name", error_name);
    add_string(out, "message", message);
    out += "}}\n";
    return out;
}
