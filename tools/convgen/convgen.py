#!/usr/bin/env python3
"""Generates a converter family (header, source, reference page) from its description file.

Usage: convgen.py DESCRIPTION OUT_HEADER OUT_SOURCE OUT_DOC

Description format (one item per line, '#' starts a comment):
  family NAME / namespace NAME / component NAME     the family's settings
  include PATH                                      a header the generated one includes (records)
  enum eNAME                                        an enumeration, then its values:
    ENUMERATOR NUMBER "text"
  class CNAME : BASE [data DATANAME] [abstract]     a converter class, then its members:
    OPERATION TYPE ELEMENT [UNIT]                   a value: getOPERATION / setOPERATION
    extra C++-DECLARATION                           an operation written by hand beside the family
  TYPE is one of text bool u16 u32 u64 i32 float double time enum:eNAME attr:NAME
"""
import sys

TYPES = {
    # type: (C++ type, base getter, base setter, takes unit, describe)
    "text": ("QString", "getText", "setText", False, "text"),
    "bool": ("bool", "getBool", "setBool", False, "bool"),
    "u16": ("unsigned short", "getUShort", "setUShort", True, "16-bit unsigned"),
    "u32": ("unsigned int", "getULong", "setULong", True, "32-bit unsigned"),
    "u64": ("unsigned long long", "getULongLong", "setULongLong", True, "64-bit unsigned"),
    "i32": ("int", "getLong", "setLong", True, "32-bit signed"),
    "float": ("float", "getFloat", "setFloat", True, "float"),
    "double": ("double", "getDouble", "setDouble", True, "double"),
    "time": ("unsigned long long", "getTime", "setTime", False, "time (microseconds, UTC)"),
}
PASS_BY_REF = {"QString"}
PREFIX = {"QString": "str", "bool": "b", "unsigned short": "us", "unsigned int": "ui", "unsigned long long": "ull",
          "int": "i", "float": "f", "double": "d"}


def param(value):
    """The parameter name in the house style: a_ and a letter for the type."""
    return "a_" + PREFIX.get(cpp_type(value), "e") + "Value"


class Value:
    def __init__(self, op, typ, element, unit):
        self.op, self.typ, self.element, self.unit = op, typ, element, unit


class Klass:
    def __init__(self, name, base, data, abstract):
        self.name, self.base, self.data, self.abstract = name, base, data, abstract
        self.values, self.extras = [], []


def fail(path, number, text):
    sys.exit(f"{path}:{number}: {text}")


def parse(path):
    family = {"enums": {}, "classes": [], "order": [], "includes": []}
    current = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].rstrip() if not raw.lstrip().startswith("extra") else raw.rstrip()
            if not line.strip():
                continue
            words = line.split()
            if not raw[0].isspace():
                if words[0] in ("family", "namespace", "component"):
                    family[words[0]] = words[1]
                elif words[0] == "include":
                    family["includes"].append(words[1])
                elif words[0] == "enum":
                    current = family["enums"].setdefault(words[1], [])
                    family["order"].append(("enum", words[1]))
                elif words[0] == "class":
                    if len(words) < 4 or words[2] != ":":
                        fail(path, number, "expected: class CNAME : BASE [data NAME] [abstract]")
                    data = words[words.index("data") + 1] if "data" in words else None
                    current = Klass(words[1], words[3], data, "abstract" in words)
                    family["classes"].append(current)
                else:
                    fail(path, number, f"unknown item '{words[0]}'")
            elif isinstance(current, list):
                text = line.split('"')
                if len(text) != 3:
                    fail(path, number, 'expected: ENUMERATOR NUMBER "text"')
                current.append((words[0], int(words[1]), text[1]))
            elif words[0] == "extra":
                current.extras.append(line.strip()[len("extra"):].strip())
            else:
                if len(words) not in (3, 4):
                    fail(path, number, "expected: OPERATION TYPE ELEMENT [UNIT]")
                typ = words[1]
                if typ not in TYPES and not typ.startswith(("enum:", "attr:")):
                    fail(path, number, f"unknown type '{typ}'")
                if typ.startswith("enum:") and typ[5:] not in family["enums"]:
                    fail(path, number, f"unknown enumeration '{typ[5:]}'")
                current.values.append(Value(words[0], typ, words[2], words[3] if len(words) == 4 else ""))
    return family


def texts_object(enum):
    return "G_obj" + "".join(p.capitalize() for p in enum[1:].split("_")) + "Texts"


def cpp_type(value):
    if value.typ.startswith("enum:"):
        return value.typ[5:]
    if value.typ.startswith("attr:"):
        return "QString"
    return TYPES[value.typ][0]


def describe(value):
    if value.typ.startswith("enum:"):
        return f"enumeration {value.typ[5:]}"
    if value.typ.startswith("attr:"):
        return f'attribute "{value.typ[5:]}" of the data element'
    text = TYPES[value.typ][4]
    return text + (f', unit "{value.unit}"' if value.unit else "")


def declarations(klass):
    lines = []
    for v in klass.values:
        t = cpp_type(v)
        where = "" if v.typ.startswith("attr:") else f' (element "{v.element}")'
        lines.append(f"    // {v.op}: {describe(v)}{where}.")
        lines.append(f"    int get{v.op}({t}& {param(v)}) const;")
        arg = f"const {t}& {param(v)}" if t in PASS_BY_REF else f"{t} {param(v)}"
        lines.append(f"    int set{v.op}({arg});")
    for e in klass.extras:
        lines.append(f"    {e};")
    return lines


def header(family):
    ns, out = family["namespace"], []
    out += ["// Generated from the family's description file by tools/convgen; edit the description instead.",
            "#pragma once", "",
            "#include <OrvexXmlInterface/OxiExport.h>",
            "#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>",
            "#include <OrvexXmlInterface/xmlcommon/Tagnames.h>", "",
            "#include <QtCore/QMap>", "#include <QtCore/QStringList>", ""]
    out += [f"#include {path}" for path in family["includes"]]
    out += ["", f"namespace {ns}", "{"]
    for kind, name in family["order"]:
        values = family["enums"][name]
        out.append(f"enum {name} : int")
        out.append("{")
        out += [f"    {e} = {n}," for e, n, _ in values]
        out.append("};")
        out.append(f"extern OXI_EXPORT const XmlCommon::CEnumTexts<{name}> {texts_object(name)};")
        out.append("")
    for k in family["classes"]:
        out.append(f"class OXI_EXPORT {k.name} : public {k.base}")
        out.append("{")
        ctor_access = "protected" if k.abstract else "public"
        out.append(f"{ctor_access}:")
        out.append(f"    {k.name}() = default;")
        out.append(f"    explicit {k.name}(XmlCommon::CMsgFragment& a_objFragment) : {k.base}(a_objFragment) {{}}")
        out.append(f"    {k.name}(const {k.name}&) = default;")
        out.append(f"    {k.name}& operator=(const {k.name}&) = default;")
        out.append("")
        out.append("public:")
        out += declarations(k)
        if k.data:
            out += ["", "protected:",
                    "    bool checkCompatibility(XmlCommon::CDataTree& a_objDataTree) const override;",
                    "    void setCompatibility(XmlCommon::CDataTree& a_objDataTree) override;"]
        out.append("};")
        out.append("")
    out += [
        "// Every converter of the family, for tools and tests that go through all of them.",
        "struct struConverterInfo",
        "{",
        "    const char* pszClass;",
        "    const char* pszDataName;  // null for the bases",
        "    XmlCommon::CConvBaseFragment* (*pfnCreate)(XmlCommon::CMsgFragment&);  // null for the bases",
        "    QStringList lstOperations;",
        "};",
        "OXI_EXPORT const QList<struConverterInfo>& converters();",
        f"}}  // namespace {ns}", ""]
    return "\n".join(out)


def get_body(klass, v):
    if v.typ.startswith("attr:"):
        return [f"    return read([&](const XmlCommon::ptrCXmlElement& a_ptrData) {{",
                f"        bool bFound = false;",
                f"        const QString strValue = a_ptrData->getAttribute(\"{v.typ[5:]}\", &bFound);",
                f"        if (!bFound)",
                f"            return int(XmlCommon::RESULT_MISSING);",
                f"        {param(v)} = strValue;",
                f"        return 0;",
                f"    }});"]
    if v.typ.startswith("enum:"):
        return [f"    return getEnum(Tag::{v.element}, {param(v)}, {texts_object(v.typ[5:])});"]
    return [f"    return {TYPES[v.typ][1]}(Tag::{v.element}, {param(v)});"]


def set_body(klass, v):
    if v.typ.startswith("attr:"):
        return [f"    return write([&](const XmlCommon::ptrCXmlElement& a_ptrData) {{",
                f"        return a_ptrData->setAttribute(\"{v.typ[5:]}\", {param(v)});",
                f"    }});"]
    if v.typ.startswith("enum:"):
        return [f"    return setEnum(Tag::{v.element}, {param(v)}, {texts_object(v.typ[5:])});"]
    unit = f', QStringLiteral("{v.unit}")' if TYPES[v.typ][3] else ""
    return [f"    return {TYPES[v.typ][2]}(Tag::{v.element}, {param(v)}{unit});"]


def source(family, header_name):
    ns, comp, out = family["namespace"], family["component"], []
    out += ["// Generated from the family's description file by tools/convgen; edit the description instead.",
            f"#include <OrvexXmlInterface/converters/{family['family']}/{header_name}>", "",
            "using namespace XmlCommon;", "",
            f"namespace {ns}", "{"]
    for kind, name in family["order"]:
        out.append(f"const CEnumTexts<{name}> {texts_object(name)}{{")
        out += [f'    {{{e}, "{t}"}},' for e, _, t in family["enums"][name]]
        out.append("};")
        out.append("")
    for k in family["classes"]:
        for v in k.values:
            t = cpp_type(v)
            arg = f"const {t}& {param(v)}" if t in PASS_BY_REF else f"{t} {param(v)}"
            out += [f"int {k.name}::get{v.op}({t}& {param(v)}) const", "{"] + get_body(k, v) + ["}", ""]
            out += [f"int {k.name}::set{v.op}({arg})", "{"] + set_body(k, v) + ["}", ""]
        if k.data:
            out += [f"bool {k.name}::checkCompatibility(CDataTree& a_objDataTree) const", "{",
                    f"    return CConvBaseFragment::checkCompatibility(Tag::{comp}, Tag::{k.data}, a_objDataTree);",
                    "}", "",
                    f"void {k.name}::setCompatibility(CDataTree& a_objDataTree)", "{",
                    f"    CConvBaseFragment::setCompatibility(Tag::{comp}, Tag::{k.data}, a_objDataTree);",
                    "}", ""]
    out += ["const QList<struConverterInfo>& converters()", "{",
            "    static const QList<struConverterInfo> s_lstConverters{"]
    for k in family["classes"]:
        ops = operations(family, k)
        data = f'"{k.data}"' if k.data else "nullptr"
        create = ("nullptr" if k.abstract else
                  f"[](CMsgFragment& a_objFragment) -> CConvBaseFragment* {{ return new {k.name}(a_objFragment); }}")
        op_list = ", ".join(f'QStringLiteral("{o}")' for o in ops)
        out.append(f'        {{"{k.name}", {data}, {create}, {{{op_list}}}}},')
    out += ["    };", "    return s_lstConverters;", "}", f"}}  // namespace {ns}", ""]
    return "\n".join(out)


def operations(family, klass):
    ops = [v.op for v in klass.values]
    for e in klass.extras:
        name = e.split("(")[0].split()[-1]
        for prefix in ("get", "set", "add"):
            if name.startswith(prefix) and name[0].islower():
                name = name[len(prefix):]
                break
        if name not in ops:
            ops.append(name)
    return ops


def doc(family):
    comp, out = family["component"], []
    out += [f"# {family['family'].capitalize()} converters",
            "",
            f"Generated from `src/converters/{family['family']}/{family['family']}.conv` by `tools/convgen`;",
            "edit the description, not this page. Namespace "
            f"`{family['namespace']}`, component \"{comp}\" for every message.",
            "Each value has a `getNAME`/`setNAME` pair; values marked *by hand* have operations written",
            "beside the generated code.", ""]
    if family["enums"]:
        out += ["## Enumerations", ""]
        for _, name in family["order"]:
            texts = ", ".join(f'{n} "{t}"' for _, n, t in family["enums"][name])
            out.append(f"- `{name}`: {texts}")
        out.append("")
    out += ["## Classes", ""]
    for k in family["classes"]:
        data = f'data name "{k.data}"' if k.data else "base class"
        out.append(f"### `{k.name}` ({data}, derived from `{k.base.split('::')[-1]}`)")
        out.append("")
        if k.values or k.extras:
            out += ["| value | element | type |", "|---|---|---|"]
            for v in k.values:
                element = "" if v.typ.startswith("attr:") else f'"{v.element}"'
                out.append(f"| {v.op} | {element} | {describe(v)} |")
            for e in k.extras:
                out.append(f"| `{e}` | | by hand |")
        else:
            out.append("No values: the message itself is the signal.")
        out.append("")
    return "\n".join(out)


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    family = parse(sys.argv[1])
    outputs = {sys.argv[2]: header(family),
               sys.argv[3]: source(family, sys.argv[2].rsplit("/", 1)[-1]),
               sys.argv[4]: doc(family)}
    for path, text in outputs.items():
        try:
            with open(path, encoding="utf-8") as f:
                if f.read() == text:
                    continue  # unchanged: keep the time stamp, spare the rebuild
        except FileNotFoundError:
            pass
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
