#!/usr/bin/env python3
"""Generates a converter family from its description file: the public header, the library source,
the reference page, and the round-trip table of the tests.

Usage: convgen.py DESCRIPTION --vocabulary TagnameList.def [--header H] [--source S] [--doc D] [--tests T]

Description format (one item per line; '#' starts a comment; indented lines belong to the item above):

  family NAME / namespace NAME / component NAME   the family's settings (component: the default)
  include <PATH>                                  a header the generated one includes
  import FAMILY                                   another family whose classes members may use
  tag NAME ["TEXT"]                               an element name the family defines (TEXT: its spelling)
  enum-type TYPE TEXTS                            an enumeration defined elsewhere and its texts object
  chosen TEXT                                     a choice made where the definition is silent (reference page)
  enum eNAME [in CLASS]                           an enumeration, then its values:  ENUMERATOR NUMBER "text"
  struct struNAME [in CLASS] [record ELEMENT]     a plain record, then its fields:  FIELD KIND ELEMENT [UNIT] [optional]
  view CNAME : BASE [record ELEMENT|@ctor] [toplevel ELEMENT ATTR=VALUE] [abstract]
                                                  a record view bound to one element, then its members
  class CNAME : BASE[, BASE2] [component NAME|@ctor] [data NAME] [attr NAME=VALUE|NAME=*|NAME=@ctor ...] [abstract]
                                                  a converter, then its members

Members of views and classes:
  OPERATION KIND ELEMENT [UNIT] [key=value ...]   a value: getOPERATION / setOPERATION
  extra DECLARATION                               an operation written by hand beside the family
  carries NAME, NAME=OPERATION, ... [count N]     the operations the definition lists (checked here)
  sample STATEMENT / verify EXPRESSION            round-trip test: a call on `c` and what reads back
  prepare STATEMENT                               what makes a fresh converter `c` its own message
  chosen TEXT                                     a choice made for this class

ELEMENT is a tag name, @NAME an attribute of the data or record element, or '.' the element's own text.
KIND is one of
  text bool u16 u32 u64 i32 float double time     one typed value (u32:u64 is 32-bit, written as 64-bit)
  enum:eNAME | auto:SCALAR | list:SCALAR | range:SCALAR
  texts | indexed:SCALAR | tree | fault | cdata | fragments
  view:CLASS | views:CLASS | repeat:CLASS | struct:TYPE | structs:TYPE
  PART,PART                                       a two-part value: one part is KIND@ATTRIBUTE of the element
Options: get=NAME set=NAME add=NAME at=NAME count=NAME (operation names), fmt=TEXT (setText format),
  in=ELEMENT (a wrapper element), getbad=CODE setbad=CODE (result codes for values outside the
  table), fallback=ENUMERATOR (written for values outside the table).
"""
import argparse
import os
import re
import sys

SCALARS = {
    # kind: (C++ type, parameter prefix, base/tool name part, takes a unit, description)
    "text": ("QString", "str", "Text", False, "text"),
    "bool": ("bool", "b", "Bool", False, "bool"),
    "u16": ("unsigned short", "us", "UShort", True, "16-bit unsigned"),
    "u32": ("unsigned int", "ui", "ULong", True, "32-bit unsigned"),
    "u64": ("unsigned long long", "ull", "ULongLong", True, "64-bit unsigned"),
    "i32": ("int", "i", "Long", True, "32-bit signed"),
    "float": ("float", "f", "Float", True, "float"),
    "double": ("double", "d", "Double", True, "double"),
    "time": ("unsigned long long", "ull", "Time", False, "time (microseconds, UTC)"),
}
LIST_TOOLS = {"bool": "Bool", "u16": "UShort", "u32": "ULong", "u64": "ULongLong", "i32": "Long",
              "float": "Float", "double": "Double"}
RANGE_TOOLS = {"u32": "ULong", "u64": "ULongLong", "i32": "Long", "float": "Float"}
RESULTS = {"0x02420000": "RESULT_WRONG_KIND", "0x02420001": "RESULT_INVALID_ARG",
           "0x02420002": "RESULT_MISSING", "0x02420003": "RESULT_MALFORMED"}
BY_REF = ("QString", "QStringList", "QByteArray", "QList", "XmlCommon::", "stru", "C")
ERR = "XmlCommon::RESULT_"


class DescriptionError(Exception):
    pass


def fail(where, text):
    raise DescriptionError(f"{where}: {text}")


def camel(name):
    return "".join(p[:1].upper() + p[1:].lower() for p in name.split("_") if p)


# ----------------------------------------------------------------------------------------------
# The model


class Enum:
    def __init__(self, name, scope, where):
        self.name, self.scope, self.where, self.values = name, scope, where, []
        self.family = None

    def cpp(self, ns=None):
        inner = f"{self.scope}::{self.name}" if self.scope else self.name
        return f"{ns}::{inner}" if ns else inner

    def texts(self):
        return "G_obj" + (self.scope or "") + camel(self.name[1:]) + "Texts"


class Member:
    def __init__(self, op, kind, element, unit, opts, where):
        self.op, self.kind, self.element, self.unit, self.opts, self.where = op, kind, element, unit, opts, where


class Klass:
    def __init__(self, what, name, where):
        self.what, self.name, self.where = what, name, where  # what: class, view, struct
        self.bases, self.component, self.data, self.attrs = [], None, None, []
        self.abstract, self.record, self.toplevel, self.scope = False, None, None, None
        self.members, self.extras, self.carries, self.count = [], [], [], None
        self.samples, self.verifies, self.prepares, self.chosen, self.accepts = [], [], [], [], []
        self.causation = []
        self.example = "Record"
        self.external = None
        self.family = None


class Family:
    def __init__(self, path):
        self.path = path
        self.settings, self.includes, self.imports, self.private_includes = {}, [], [], []
        self.tags, self.enum_types, self.enums, self.klasses, self.chosen = {}, {}, {}, [], []
        self.imported = {}

    @property
    def ns(self):
        return self.settings["namespace"]

    def klass(self, name):
        name = name.split("::")[-1]
        for k in self.klasses:
            if k.name == name:
                return k
        for fam in self.imported.values():
            k = fam.klass(name)
            if k:
                return k
        return None

    def enum(self, name):
        bare = name.split("::")[-1]
        if bare in self.enums:
            return self.enums[bare]
        for fam in self.imported.values():
            if bare in fam.enums:
                return fam.enums[bare]
        return None


# Options of a member line that take no value.
FLAGS = ("nocompress", "optional")


def split_options(words):
    plain, opts = [], {}
    for w in words:
        if w in FLAGS:
            opts[w] = True
        elif "=" in w and not w.startswith("@"):
            k, v = w.split("=", 1)
            opts[k] = v
        else:
            plain.append(w)
    return plain, opts


# Lines whose rest is free text (C++ or prose), '#' included.
FREE_TEXT = ("extra", "sample", "verify", "prepare", "chosen", "carries", "accepts", "causation")


def parse(path, vocabulary):
    fam = Family(path)
    current = None
    with open(path, encoding="utf-8") as f:
        lines = list(enumerate(f, 1))
    for number, raw in lines:
        where = f"{path}:{number}"
        stripped = raw.strip()
        keyword = stripped.split(" ", 1)[0]
        if not stripped or stripped.startswith("#"):
            continue
        if keyword in FREE_TEXT:
            text = stripped[len(keyword):].strip()
            words = [keyword, text]
        else:
            text = raw.split("#", 1)[0].strip()
            if not text:
                continue
            words = text.split()
        if not raw[0].isspace():
            current = top_level(fam, words, text, where)
        elif isinstance(current, Enum):
            m = re.match(r'(\w+)\s+(-?\d+)\s+"([^"]*)"$', text)
            if not m:
                fail(where, 'expected: ENUMERATOR NUMBER "text"')
            current.values.append((m.group(1), int(m.group(2)), m.group(3)))
        elif isinstance(current, Klass):
            member_line(current, keyword, words, text, where)
        else:
            fail(where, "an indented line belongs to an enum, struct, view or class")
    load_imports(fam, vocabulary)
    check(fam, vocabulary)
    return fam


def top_level(fam, words, text, where):
    key = words[0]
    if key in ("family", "namespace", "component"):
        fam.settings[key] = words[1]
        return None
    if key == "include":
        fam.includes.append(words[1])
        return None
    if key == "import":
        fam.imports.append(words[1])
        return None
    if key == "private-include":
        fam.private_includes.append(words[1])
        return None
    if key == "tag":
        m = re.match(r'tag\s+(\w+)(?:\s+"([^"]+)")?$', text)
        if not m:
            fail(where, 'expected: tag NAME ["TEXT"]')
        fam.tags[m.group(1)] = m.group(2) or m.group(1)
        return None
    if key == "enum-type":
        fam.enum_types[words[1]] = words[2]
        return None
    if key == "chosen":
        fam.chosen.append((None, words[1]))
        return None
    if key == "enum":
        scope = words[3] if len(words) > 3 and words[2] == "in" else None
        e = Enum(words[1], scope, where)
        e.family = fam
        if words[1] in fam.enums:
            fail(where, f"enumeration {words[1]} defined twice")
        fam.enums[words[1]] = e
        return e
    if key in ("class", "view", "struct"):
        return klass_line(fam, key, words, where)
    fail(where, f"unknown item '{key}'")


def klass_line(fam, key, words, where):
    k = Klass(key, words[1], where)
    k.family = fam
    rest = words[2:]
    if key == "struct":
        while rest:
            if rest[0] == "in":
                k.scope, rest = rest[1], rest[2:]
            elif rest[0] == "external":
                k.external, rest = rest[1], rest[2:]
            elif rest[0] == "record":
                k.record, rest = rest[1], rest[2:]
            else:
                fail(where, f"unexpected '{rest[0]}'")
        fam.klasses.append(k)
        return k
    if not rest or rest[0] != ":":
        fail(where, f"expected: {key} CNAME : BASE ...")
    rest = rest[1:]
    bases = []
    while rest and (not bases or bases[-1].endswith(",")):
        bases.append(rest[0])
        rest = rest[1:]
    k.bases = [b.rstrip(",") for b in bases]
    while rest:
        word = rest[0]
        if word in ("component", "data", "record"):
            value = rest[1]
            if word == "record" and value.startswith("@ctor:"):
                value, k.example = "@ctor", value.split(":", 1)[1]
            setattr(k, word, value)
            rest = rest[2:]
        elif word == "toplevel":
            k.toplevel = (rest[1], rest[2].split("=", 1))
            rest = rest[3:]
        elif word == "attr":
            rest = rest[1:]
            while rest and "=" in rest[0]:
                k.attrs.append(tuple(rest[0].split("=", 1)))
                rest = rest[1:]
        elif word == "abstract":
            k.abstract, rest = True, rest[1:]
        else:
            fail(where, f"unexpected '{word}'")
    if fam.klass(k.name) is not None and fam.klass(k.name).family is fam:
        fail(where, f"{k.name} defined twice")
    fam.klasses.append(k)
    return k


def member_line(k, keyword, words, text, where):
    if keyword == "extra":
        k.extras.append(words[1])
    elif keyword == "sample":
        k.samples.append(words[1])
    elif keyword == "verify":
        k.verifies.append(words[1])
    elif keyword == "prepare":
        k.prepares.append(words[1])
    elif keyword == "accepts":
        k.accepts += [a.strip() for a in words[1].split(",")]
    elif keyword == "causation":
        for entry in words[1].split():
            code, _, names = entry.partition("=")
            k.causation.append((int(code), names.split(",")))
    elif keyword == "chosen":
        k.chosen.append(words[1])
        k.family.chosen.append((k.name, words[1]))
    elif keyword == "carries":
        body = words[1]
        m = re.search(r"\s+count\s+(\d+)$", body)
        if m:
            k.count, body = int(m.group(1)), body[:m.start()]
        k.carries += [c.strip() for c in body.split(",") if c.strip()]
    else:
        plain, opts = split_options(words)
        if len(plain) not in (3, 4):
            fail(where, "expected: OPERATION KIND ELEMENT [UNIT] [key=value ...]")
        k.members.append(Member(plain[0], plain[1], plain[2], plain[3] if len(plain) == 4 else "", opts, where))


def load_imports(fam, vocabulary):
    base = os.path.dirname(os.path.dirname(os.path.abspath(fam.path)))
    for name in fam.imports:
        fam.imported[name] = parse(os.path.join(base, name, name + ".conv"), vocabulary)


# ----------------------------------------------------------------------------------------------
# Names, types and checks


def read_vocabulary(path):
    names = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"\s*OXI_TAG\((\w+)\)", line)
            if m:
                names[m.group(1)] = m.group(1)
                continue
            m = re.match(r'\s*OXI_TAG_AS\((\w+),\s*"([^"]+)"\)', line)
            if m:
                names[m.group(2)] = m.group(1)
    return names


class Context:
    """Resolves names of one family for the code it generates."""

    def __init__(self, fam, vocabulary):
        self.fam, self.vocabulary = fam, vocabulary
        self.family_tags = {}
        for f in [fam] + list(fam.imported.values()):
            for ident, text in f.tags.items():
                self.family_tags[text] = (f.ns, ident)

    def tag(self, text, where):
        if text in self.family_tags:
            ns, ident = self.family_tags[text]
            return f"{ns}::Tag::{ident}"
        if text in self.vocabulary:
            return f"XmlCommon::Tag::{self.vocabulary[text]}"
        fail(where, f'element name "{text}" is neither in the vocabulary nor defined in the family (tag)')

    def enum(self, name, where):
        """(C++ type, texts object, values or None) of an enumeration a member names."""
        e = self.fam.enum(name)
        if e:
            return e.cpp(e.family.ns), f"{e.family.ns}::{e.texts()}", e.values
        for f in [self.fam] + list(self.fam.imported.values()):
            if name in f.enum_types:
                return name, f.enum_types[name], None
        fail(where, f"unknown enumeration '{name}'")

    def klass(self, name, where):
        k = self.fam.klass(name)
        if not k:
            fail(where, f"unknown class '{name}'")
        return k

    def qualified(self, k):
        return f"{k.family.ns}::{k.name}"


def check(fam, vocabulary):
    for key in ("family", "namespace"):
        if key not in fam.settings:
            fail(fam.path, f"'{key}' missing")
    ctx = Context(fam, vocabulary)
    for k in fam.klasses:
        for name in [k.component, k.data, k.record] + ([k.toplevel[0]] if k.toplevel else []):
            if name and name != "@ctor":
                ctx.tag(name, k.where)
        for m in k.members:
            kind_of(m, ctx, k)  # raises on unknown kinds, names and enumerations
        for b in k.bases:
            if "::" not in b and not fam.klass(b):
                fail(k.where, f"unknown base '{b}'")
    for k in fam.klasses:
        if k.what == "struct":
            continue
        own = set(operations(k, ctx))
        inherited = set()
        for b in all_bases(k, fam):
            inherited |= set(operations(b, ctx))
        for c in k.carries:
            name = c.split("=", 1)[-1]
            if name not in own | inherited:
                fail(k.where, f"{k.name} carries {c}, but has no such operation")
        members = [m for c in [k] + all_bases(k, fam) for m in c.members]
        if any(m.element == "." and m.kind == "cdata" for m in members) and \
                any(m.element != "." and not m.element.startswith("@") for m in members):
            fail(k.where, f"{k.name} keeps a value in its element's own text and others in children: "
                          "an element holds one or the other")
        if k.count is not None and len(own) != k.count:
            fail(k.where, f"{k.name} has {len(own)} operations, its member table lists {k.count}")


def all_bases(k, fam):
    out = []
    for b in k.bases:
        bk = fam.klass(b)
        if bk and bk is not k:
            out.append(bk)
            out += all_bases(bk, bk.family)
    return out


def concrete(k):
    return k.what == "class" and not k.abstract


def effective(k, fam):
    """(component, data name, attributes) a converter ends up with, through its bases."""
    comp, data, attrs = k.component, k.data, list(k.attrs)
    for b in all_bases(k, fam):
        if b.what != "class":
            continue
        comp = comp or b.component
        data = data or b.data
        names = {a for a, _ in attrs}
        attrs += [a for a in b.attrs if a[0] not in names]
    return comp or fam.settings.get("component"), data, attrs


# ----------------------------------------------------------------------------------------------
# Value kinds: what each member declares, how its bodies read and write, and how the tests use it


def param_name(prefix, suffix="Value"):
    return f"a_{prefix}{suffix}"


def arg_decl(cpp, name):
    if cpp.startswith(BY_REF) and cpp not in ("bool",):
        return f"const {cpp}& {name}"
    return f"{cpp} {name}"


class Kind:
    """A value of one member. Subclasses fill in the forms."""

    returns_tree = False

    def __init__(self, m, ctx, k):
        self.m, self.ctx, self.k = m, ctx, k
        self.tag = None
        if m.element not in (".",) and not m.element.startswith("@"):
            self.tag = ctx.tag(m.element, m.where)
        self.attr = m.element[1:] if m.element.startswith("@") else None

    # operation names
    def getter(self):
        return self.m.opts.get("get", "get" + self.m.op)

    def setter(self):
        return self.m.opts.get("set", "set" + self.m.op)

    def functions(self):
        return [self.getter(), self.setter()]

    def unit_expr(self):
        return f'QStringLiteral("{self.m.unit}")' if self.m.unit else "QString()"

    def describe(self):
        return ""

    def declarations(self):
        g = ", ".join(f"{t}& {n}" for t, n in self.params())
        s = ", ".join(arg_decl(t, n) for t, n in self.params())
        return [f"int {self.getter()}({g}) const;", f"int {self.setter()}({s});"]


def wrong_kind_guard(rec):
    return [f"if (!{rec})", f"    return {ERR}WRONG_KIND;"]


class Scalar(Kind):
    def __init__(self, m, ctx, k, scalar):
        super().__init__(m, ctx, k)
        self.scalar = scalar
        self.cpp, self.prefix, self.tool, self.has_unit, self.text = SCALARS[scalar]
        if m.unit and not self.has_unit:
            fail(m.where, f"a {scalar} value has no unit")

    def params(self):
        return [(self.cpp, param_name(self.prefix))]

    def describe(self):
        return self.text + (f', unit "{self.m.unit}"' if self.m.unit else "")

    def set_args(self, v):
        if self.scalar == "text":
            fmt = self.m.opts.get("fmt")
            return f"{v}, &s_strFormat{fmt}" if fmt else v
        return f"{v}, {self.unit_expr()}" if self.has_unit else v

    def base_get(self):
        (t, v), = self.params()
        if self.attr:
            return None
        return f"return get{self.tool}({self.tag}, {v});"

    def base_set(self):
        (t, v), = self.params()
        if self.attr or "nocompress" in self.m.opts:
            return None
        return f"return set{self.tool}({self.tag}, {self.set_args(v)});"

    def get_body(self, rec):
        (t, v), = self.params()
        if self.attr:
            if self.scalar not in ("text", "u32"):
                fail(self.m.where, "attributes are text or u32")
            return [f'return ConverterSupport::getAttribute({rec}, "{self.attr}", {v});']
        return wrong_kind_guard(rec) + [f"return Tools::get{self.tool}({rec}, {self.tag}, {v});"]

    def set_body(self, rec):
        (t, v), = self.params()
        if self.attr:
            return [f'return ConverterSupport::setAttribute({rec}, "{self.attr}", {v});']
        if "nocompress" in self.m.opts:
            # Bulk text (file contents) is sent as it is: compressing it again would gain nothing.
            return [f"if (const int iResult = Tools::set{self.tool}({rec}, {self.tag}, {self.set_args(v)}))",
                    "    return iResult;",
                    f"return Tools::disableCompression({rec}, {self.tag});"]
        return [f"return Tools::set{self.tool}({rec}, {self.tag}, {self.set_args(v)});"]


class Wide(Scalar):
    """32 bits in the interface, 64 on the wire."""

    def __init__(self, m, ctx, k):
        super().__init__(m, ctx, k, "u32")

    def describe(self):
        return "32-bit unsigned, written as 64-bit" + (f', unit "{self.m.unit}"' if self.m.unit else "")

    def base_get(self):
        return None

    def base_set(self):
        (t, v), = self.params()
        return f"return setULongLong({self.tag}, {v}, {self.unit_expr()});"

    def get_body(self, rec):
        (t, v), = self.params()
        return [f"return ConverterSupport::getULongAs64({rec}, {self.tag}, {v});"]

    def set_body(self, rec):
        (t, v), = self.params()
        return [f"return Tools::setULongLong({rec}, {self.tag}, {v}, {self.unit_expr()});"]


class EnumKind(Kind):
    def __init__(self, m, ctx, k, name):
        super().__init__(m, ctx, k)
        self.cpp, self.texts, self.values = ctx.enum(name, m.where)
        self.name = name
        if m.opts.get("fallback") and not self.values:
            fail(m.where, "a fallback needs the enumeration's values")

    def params(self):
        return [(self.cpp, param_name("e"))]

    def describe(self):
        return f"enumeration `{self.name.split('::')[-1]}`"

    def map_result(self, expr, opt, default):
        code = self.m.opts.get(opt)
        if not code:
            return f"return {expr};"
        return [f"const int iResult = {expr};",
                f"return iResult == {ERR}{default} ? int({ERR}{RESULTS[code][7:]}) : iResult;"]

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        (t, v), = self.params()
        if self.attr:
            expr = f'ConverterSupport::getEnumAttribute({rec}, "{self.attr}", {v}, {self.texts})'
            return wrong_kind_guard(rec) + self.lines(self.map_result(expr, "getbad", "MALFORMED"))
        expr = f"Tools::getEnum({rec}, {self.tag}, {v}, {self.texts})"
        return wrong_kind_guard(rec) + self.lines(self.map_result(expr, "getbad", "MALFORMED"))

    def set_body(self, rec):
        (t, v), = self.params()
        if self.attr:
            expr = f'ConverterSupport::setEnumAttribute({rec}, "{self.attr}", {v}, {self.texts})'
        elif "fallback" in self.m.opts:
            fb = f"{self.cpp.rsplit('::', 1)[0]}::{self.m.opts['fallback']}" if "::" in self.cpp \
                else self.m.opts["fallback"]
            expr = f"ConverterSupport::setEnumOr({rec}, {self.tag}, {v}, {fb}, {self.texts})"
        else:
            expr = f"Tools::setEnum({rec}, {self.tag}, {v}, {self.texts})"
        return self.lines(self.map_result(expr, "setbad", "INVALID_ARG"))

    @staticmethod
    def lines(x):
        return x if isinstance(x, list) else [x]


class EnumNumber(EnumKind):
    """An enumeration written as its value in decimal; only the table's values are accepted."""

    def describe(self):
        return f"enumeration `{self.name.split('::')[-1]}` as its value in decimal"

    def get_body(self, rec):
        (t, v), = self.params()
        return wrong_kind_guard(rec) + [
            "unsigned int uiValue = 0;",
            f"if (const int iResult = Tools::getULong({rec}, {self.tag}, uiValue))",
            "    return iResult;",
            f"if (!{self.texts}.text({t}(uiValue)))",
            f"    return {ERR}MALFORMED;",
            f"{v} = {t}(uiValue);",
            "return XmlCommon::RESULT_OK;"]

    def set_body(self, rec):
        (t, v), = self.params()
        return [f"if (!{self.texts}.text({v}))",
                f"    return {ERR}INVALID_ARG;",
                f"return Tools::setULong({rec}, {self.tag}, static_cast<unsigned int>({v}), QString());"]


class Items(Kind):
    """Plain records appended one per call, read by position and counted."""

    def __init__(self, m, ctx, k, name):
        super().__init__(m, ctx, k)
        self.struct = ctx.klass(name, m.where)
        if self.struct.what != "struct":
            fail(m.where, f"{name} is not a struct")
        self.cpp = struct_cpp(self.struct)

    def functions(self):
        op = self.m.op
        return [self.m.opts.get("add", "add" + op), self.m.opts.get("get", "get" + op),
                self.m.opts.get("count", "getNum" + op + "s")]

    def describe(self):
        return f"records `{self.struct.name}`, one appended per call, read by position"

    def declarations(self):
        add, get, count = self.functions()
        return [f"int {add}(const {self.cpp}& a_objRecord);",
                f"// A default record when the index is outside the list or the fragment is not this message.",
                f"{self.cpp} {get}(int a_iIndex) const;",
                f"int {count}() const;"]

    def bodies(self, reader, writer):
        add, get, count = self.functions()
        k, c, tag, s = self.k.name, self.cpp, self.tag, self.struct.name
        return [
            (f"int {k}::{add}(const {c}& a_objRecord)",
             writer([f"return write_{s}(Tools::createElement(ptrRecord, {tag}), a_objRecord);"])),
            (f"{c} {k}::{get}(int a_iIndex) const",
             reader([f"{c} objRecord;",
                     "XmlCommon::ptrCXmlElement ptrElement;",
                     "if (a_iIndex >= 0 && ConverterSupport::getElementAt(ptrRecord, "
                     f"{tag}, static_cast<unsigned int>(a_iIndex), ptrElement) == XmlCommon::RESULT_OK)",
                     f"    read_{s}(ptrElement, objRecord);",
                     "return objRecord;"])),
            (f"int {k}::{count}() const",
             reader([f"return static_cast<int>(ConverterSupport::countElements(ptrRecord, {tag}));"]))]


class Auto(Kind):
    def __init__(self, m, ctx, k, scalar):
        super().__init__(m, ctx, k)
        if scalar not in ("u32", "i32", "u64", "float", "double"):
            fail(m.where, "auto values are numbers")
        self.inner = Scalar(m, ctx, k, scalar)

    def params(self):
        return [("bool", "a_bAutomatic")] + self.inner.params()

    def describe(self):
        return '"auto", or ' + self.inner.describe()

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        t, v = self.inner.params()[0]
        return ["bool bAutomatic = false;",
                f"if (const int iResult = ConverterSupport::autoState({rec}, {self.tag}, bAutomatic))",
                "    return iResult;",
                f"{t} value{{}};",
                f"if (!bAutomatic) {{",
                f"    if (const int iResult = Tools::get{self.inner.tool}({rec}, {self.tag}, value))",
                "        return iResult;",
                f"    {v} = value;",
                "}",
                "a_bAutomatic = bAutomatic;",
                "return XmlCommon::RESULT_OK;"]

    def set_body(self, rec):
        t, v = self.inner.params()[0]
        return ["if (a_bAutomatic)",
                f'    return Tools::setText({rec}, {self.tag}, QStringLiteral("auto"));',
                f"return Tools::set{self.inner.tool}({rec}, {self.tag}, {self.inner.set_args(v)});"]


class ListKind(Kind):
    def __init__(self, m, ctx, k, scalar):
        super().__init__(m, ctx, k)
        if scalar not in LIST_TOOLS:
            fail(m.where, f"no list of {scalar}")
        self.scalar, self.tool = scalar, LIST_TOOLS[scalar]
        self.cpp = f"QList<{SCALARS[scalar][0]}>"

    def params(self):
        return [(self.cpp, "a_lstValues")]

    def describe(self):
        return f"list of {SCALARS[self.scalar][4]}" + (f', unit "{self.m.unit}"' if self.m.unit else "")

    def unit_arg(self):
        return "" if self.scalar == "bool" else f", {self.unit_expr()}"

    def base_get(self):
        return None

    def base_set(self):
        return f"return setList_{self.tool}({self.tag}, a_lstValues{self.unit_arg()});"

    def get_body(self, rec):
        # The caller's list is replaced, not appended to: a getter of a named value returns it whole.
        return wrong_kind_guard(rec) + [
            f"{self.cpp} lstValues;",
            f"if (const int iResult = Tools::getList_{self.tool}({rec}, {self.tag}, lstValues))",
            "    return iResult;",
            "a_lstValues = lstValues;",
            "return XmlCommon::RESULT_OK;"]

    def set_body(self, rec):
        return [f"return Tools::setList_{self.tool}({rec}, {self.tag}, a_lstValues{self.unit_arg()});"]


class RangeKind(Kind):
    def __init__(self, m, ctx, k, scalar):
        super().__init__(m, ctx, k)
        if scalar not in RANGE_TOOLS:
            fail(m.where, f"no range of {scalar}")
        self.scalar, self.tool = scalar, RANGE_TOOLS[scalar]
        self.cpp, self.prefix = SCALARS[scalar][0], SCALARS[scalar][1]

    def params(self):
        return [(self.cpp, param_name(self.prefix, "Min")), (self.cpp, param_name(self.prefix, "Max"))]

    def describe(self):
        return f"range of {SCALARS[self.scalar][4]}" + (f', unit "{self.m.unit}"' if self.m.unit else "")

    def base_get(self):
        return None

    def base_set(self):
        (t, a), (t, b) = self.params()
        return f"return setRange_{self.tool}({self.tag}, {a}, {b}, {self.unit_expr()});"

    def get_body(self, rec):
        (t, a), (t, b) = self.params()
        extra = ", static_cast<QString*>(nullptr)" if self.tool == "ULongLong" else ""
        return wrong_kind_guard(rec) + [f"return Tools::getRange_{self.tool}({rec}, {self.tag}, {a}, {b}{extra});"]

    def set_body(self, rec):
        (t, a), (t, b) = self.params()
        return [f"return Tools::setRange_{self.tool}({rec}, {self.tag}, {a}, {b}, {self.unit_expr()});"]


class Texts(Kind):
    def params(self):
        return [("QStringList", "a_lstValues")]

    def describe(self):
        return "text, one element per item"

    def base_get(self):
        return None

    def base_set(self):
        return None

    def wrapper(self):
        return self.ctx.tag(self.m.opts["in"], self.m.where) if "in" in self.m.opts else None

    def get_body(self, rec):
        w = self.wrapper()
        if not w:
            return [f"return ConverterSupport::getTexts({rec}, {self.tag}, a_lstValues);"]
        return wrong_kind_guard(rec) + [
            f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, {w});",
            "if (!ptrList)", f"    return {ERR}MISSING;",
            f"return ConverterSupport::getTexts(ptrList, {self.tag}, a_lstValues);"]

    def set_body(self, rec):
        w = self.wrapper()
        if not w:
            return [f"return ConverterSupport::setTexts({rec}, {self.tag}, a_lstValues);"]
        return [f"return ConverterSupport::setTexts(XmlCommon::XmlTreeTools::findTagInTree({rec}, {w}, "
                f"XmlCommon::G_objCompEqual, false, true), {self.tag}, a_lstValues);"]


class FragmentList(Kind):
    """Whole fragments (any component) in a wrapper element, replaced as a list."""

    def params(self):
        return [("QList<XmlCommon::CMsgFragment>", "a_lstFragments")]

    def describe(self):
        return "whole fragments inside the element, the list replaced as a whole"

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        return wrong_kind_guard(rec) + [
            f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, {self.tag});",
            "if (!ptrList)", f"    return {ERR}MISSING;",
            "QList<XmlCommon::CMsgFragment> lstFragments;",
            "for (const XmlCommon::ptrCXmlElement& ptrChild : ptrList->children())",
            "    lstFragments.append(XmlCommon::CMsgFragment(ptrChild));",
            "a_lstFragments = lstFragments;",
            "return XmlCommon::RESULT_OK;"]

    def set_body(self, rec):
        return [f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, {self.tag}, "
                "XmlCommon::G_objCompEqual, false, true);",
                "ptrList->removeAllChildren();",
                "for (const XmlCommon::CMsgFragment& objFragment : a_lstFragments) {",
                "    if (objFragment.isNull())",
                f"        return {ERR}INVALID_ARG;",
                "    ptrList->addChild(objFragment.getElementTree(), -1);",
                "}",
                "return XmlCommon::RESULT_OK;"]


class Custom(Kind):
    """A value whose form is written by hand: HELPER::get and HELPER::set on the element."""

    def __init__(self, m, ctx, k):
        super().__init__(m, ctx, k)
        for key in ("type", "helper"):
            if key not in m.opts:
                fail(m.where, f"a custom value needs {key}=")
        self.cpp = m.opts["type"]

    def params(self):
        return [(self.cpp, "a_value")]

    def describe(self):
        return f"`{self.cpp.split('::')[-1]}`, written by `{self.m.opts['helper']}`"

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        lines = wrong_kind_guard(rec)
        if "in" in self.m.opts:
            w = self.ctx.tag(self.m.opts["in"], self.m.where)
            lines += [f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, {w});",
                      "if (!ptrList)", f"    return {ERR}MISSING;"]
            rec = "ptrList"
        return lines + [f"return {self.m.opts['helper']}::get({rec}, {self.tag}, a_value);"]

    def set_body(self, rec):
        if "in" in self.m.opts:
            w = self.ctx.tag(self.m.opts["in"], self.m.where)
            rec = f"XmlCommon::XmlTreeTools::findTagInTree({rec}, {w}, XmlCommon::G_objCompEqual, false, true)"
        return [f"return {self.m.opts['helper']}::set({rec}, {self.tag}, a_value);"]


class ConverterKind(Kind):
    """Another converter's data element carried as a child: set shares it, get lays the converter over it."""

    def __init__(self, m, ctx, k, name):
        super().__init__(m, ctx, k)
        self.cpp = name
        if "component" not in m.opts:
            fail(m.where, "a carried converter needs component=")
        self.component = ctx.tag(m.opts["component"], m.where)

    def params(self):
        return [(self.cpp, "a_objConverter")]

    def describe(self):
        return f"the data element of a `{self.cpp.split('::')[-1]}`"

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        return [f"return ConverterSupport::getConverterData({rec}, {self.tag}, {self.component}, a_objConverter);"]

    def set_body(self, rec):
        return [f"return ConverterSupport::setConverterData({rec}, {self.tag}, a_objConverter);"]


class Indexed(Kind):
    def __init__(self, m, ctx, k, scalar):
        super().__init__(m, ctx, k)
        if scalar not in ("u32", "i32", "u64", "text"):
            fail(m.where, f"no indexed list of {scalar}")
        self.scalar = scalar
        self.cpp = "QStringList" if scalar == "text" else f"QList<{SCALARS[scalar][0]}>"

    def params(self):
        return [(self.cpp, "a_lstValues")]

    def describe(self):
        return f"{SCALARS[self.scalar][4]}, one element per item with its position as attribute \"index\"" + \
            (f', unit "{self.m.unit}"' if self.m.unit else "")

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        if self.scalar == "text":
            return [f"return ConverterSupport::getIndexed({rec}, {self.tag}, a_lstValues);"]
        conv = {"u32": "toUInt", "i32": "toInt", "u64": "toULongLong"}[self.scalar]
        return ["QStringList lstTexts;",
                f"if (const int iResult = ConverterSupport::getIndexed({rec}, {self.tag}, lstTexts))",
                "    return iResult;",
                f"{self.cpp} lstValues;",
                "for (const QString& strText : qAsConst(lstTexts)) {",
                "    bool bOk = false;",
                f"    lstValues.append(strText.{conv}(&bOk, 10));",
                "    if (!bOk)",
                f"        return {ERR}MALFORMED;",
                "}",
                "a_lstValues = lstValues;",
                "return XmlCommon::RESULT_OK;"]

    def set_body(self, rec):
        if self.scalar == "text":
            return [f"return ConverterSupport::setIndexed({rec}, {self.tag}, a_lstValues, {self.unit_expr()});"]
        return ["QStringList lstTexts;",
                "for (const auto value : a_lstValues)",
                "    lstTexts.append(Tools::valueToString(value));",
                f"return ConverterSupport::setIndexed({rec}, {self.tag}, lstTexts, {self.unit_expr()});"]


class Tree(Kind):
    returns_tree = True

    def params(self):
        return [("XmlCommon::CDataTree", "a_objTree")]

    def describe(self):
        return "subtree"

    def declarations(self):
        return [f"XmlCommon::CDataTree {self.getter()}() const;",
                f"int {self.setter()}(XmlCommon::CDataTree a_objTree);"]

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        return [f"return ConverterSupport::getTree({rec}, {self.tag});"]

    def set_body(self, rec):
        return [f"return ConverterSupport::setTree({rec}, {self.tag}, a_objTree);"]


class Fault(Kind):
    def params(self):
        return [("XmlCommon::CFaultTree", "a_objFault")]

    def describe(self):
        return "fault tree"

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        return [f"return ConverterSupport::getFault({rec}, a_objFault);"]

    def set_body(self, rec):
        return [f"return ConverterSupport::setFault({rec}, a_objFault);"]


class CData(Kind):
    def params(self):
        return [("QByteArray", "a_baData")]

    def describe(self):
        return "text in a CDATA section" + (" (the element's own text)" if not self.tag else "")

    def base_get(self):
        return None

    def base_set(self):
        return None

    def tag_ptr(self):
        return f"&{self.tag}" if self.tag else "nullptr"

    def get_body(self, rec):
        return [f"return ConverterSupport::getCData({rec}, {self.tag_ptr()}, a_baData);"]

    def set_body(self, rec):
        return [f"return ConverterSupport::setCData({rec}, {self.tag_ptr()}, a_baData);"]


class Fragments(Kind):
    """Whole fragments (any component) appended one per call, read back as a list."""

    def functions(self):
        return [self.adder(), self.getter()]

    def adder(self):
        return self.m.opts.get("add", "Append" + self.m.op)

    def getter(self):
        return self.m.opts.get("get", "get" + self.m.op + "List")

    def params(self):
        return [("XmlCommon::CMsgFragment", "a_objFragment")]

    def describe(self):
        return "whole fragments, one appended per call"

    def declarations(self):
        return [f"int {self.adder()}(const XmlCommon::CMsgFragment& a_objFragment);",
                f"int {self.getter()}(QList<XmlCommon::CMsgFragment>& a_lstFragments) const;"]

    def bodies(self, reader, writer):
        k = self.k.name
        return [
            (f"int {k}::{self.adder()}(const XmlCommon::CMsgFragment& a_objFragment)",
             writer(["if (a_objFragment.isNull())", f"    return {ERR}INVALID_ARG;",
                     "return ConverterSupport::addElement(ptrRecord, a_objFragment.getElementTree());"])),
            (f"int {k}::{self.getter()}(QList<XmlCommon::CMsgFragment>& a_lstFragments) const",
             reader(wrong_kind_guard("ptrRecord") + [
                 "QList<XmlCommon::CMsgFragment> lstFragments;",
                 "for (const XmlCommon::ptrCXmlElement& ptrChild : ptrRecord->children())",
                 "    lstFragments.append(XmlCommon::CMsgFragment(ptrChild));",
                 "a_lstFragments = lstFragments;",
                 "return XmlCommon::RESULT_OK;"]))]


class ViewKind(Kind):
    """Record views below the element: one (view), a replaced list (views) or appended ones (repeat)."""

    def __init__(self, m, ctx, k, mode, name):
        super().__init__(m, ctx, k)
        self.mode, self.view = mode, ctx.klass(name, m.where)
        if self.view.what != "view":
            fail(m.where, f"{name} is not a record view")
        self.cpp = ctx.qualified(self.view)
        names = [self.view.record] + [b.record for b in all_bases(self.view, self.view.family)]
        record = next((r for r in names if r), None)
        if record and record != "@ctor" and record != m.element and not self.view.toplevel:
            fail(m.where, f'{name} records are elements "{record}", not "{m.element}" (a wrapper is in=)')
        if "in" in m.opts:
            self.wrapper = ctx.tag(m.opts["in"], m.where)
        else:
            self.wrapper = None

    def params(self):
        if self.mode == "views":
            return [(f"QList<{self.cpp}>", "a_lstRecords")]
        return [(self.cpp, "a_objRecord")]

    def make_view(self, element):
        """A view of the member's class bound to an element."""
        if self.view.record == "@ctor" or needs_name(self.view, self.ctx.fam):
            return f'{self.cpp}(QStringLiteral("{self.m.element}"), {element})'
        return f"{self.cpp}({element})"

    def functions(self):
        op = self.m.op
        if self.mode == "append":
            return [self.m.opts.get("add", "Append" + op), self.m.opts.get("get", "getList")]
        if self.mode == "repeat":
            return [self.m.opts.get("add", "add" + op), self.m.opts.get("at", "get" + op + "at"),
                    self.m.opts.get("count", "getNumberOf" + op + "s")]
        return [self.getter(), self.setter()]

    def describe(self):
        how = {"view": "one record", "views": "records, the list replaced as a whole",
               "repeat": "records, one appended per call and read by position",
               "append": "records, one appended per call and read as a list"}[self.mode]
        return f"{how} `{self.view.name}`" + (f' inside "{self.m.opts["in"]}"' if self.wrapper else "")

    def declarations(self):
        c = self.cpp
        if self.mode == "repeat":
            add, at, count = self.functions()
            return [f"int {add}(const {c}& a_objRecord);",
                    f"int {at}(unsigned int a_uiIndex, {c}& a_objRecord) const;",
                    f"unsigned int {count}() const;"]
        if self.mode == "append":
            add, get = self.functions()
            return [f"int {add}(const {c}& a_objRecord);", f"int {get}(QList<{c}>& a_lstRecords) const;"]
        if self.mode == "views":
            return [f"int {self.getter()}(QList<{c}>& a_lstRecords) const;",
                    f"int {self.setter()}(const QList<{c}>& a_lstRecords);"]
        return [f"int {self.getter()}({c}& a_objRecord) const;", f"int {self.setter()}(const {c}& a_objRecord);"]

    def inner(self, rec, create):
        if not self.wrapper:
            return []
        if create:
            return [f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree(",
                    f"    {rec}, {self.wrapper}, XmlCommon::G_objCompEqual, false, true);"]
        return wrong_kind_guard(rec) + [
            f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, {self.wrapper});",
            "if (!ptrList)", f"    return {ERR}MISSING;"]

    def bodies(self, reader, writer):
        k, c, tag = self.k.name, self.cpp, self.tag
        p = "ptrList" if self.wrapper else "ptrRecord"
        if self.mode == "repeat":
            add, at, count = self.functions()
            return [
                (f"int {k}::{add}(const {c}& a_objRecord)",
                 writer(self.inner("ptrRecord", True) + [
                     "if (!a_objRecord.checkCompatibility())",
                     f"    return {ERR}INVALID_ARG;",
                     f"return ConverterSupport::addElement({p}, a_objRecord.getElementTree());"])),
                (f"int {k}::{at}(unsigned int a_uiIndex, {c}& a_objRecord) const",
                 reader(self.inner("ptrRecord", False) + [
                     "XmlCommon::ptrCXmlElement ptrElement;",
                     f"if (const int iResult = ConverterSupport::getElementAt({p}, {tag}, a_uiIndex, ptrElement))",
                     "    return iResult;",
                     f"a_objRecord = {self.make_view('ptrElement')};",
                     "return XmlCommon::RESULT_OK;"])),
                (f"unsigned int {k}::{count}() const",
                 reader(["if (!ptrRecord)", "    return 0;"] + ([
                     f"return ConverterSupport::countElements(XmlCommon::XmlTreeTools::findTagInTree(ptrRecord, "
                     f"{self.wrapper}), {tag});"] if self.wrapper else [
                     f"return ConverterSupport::countElements(ptrRecord, {tag});"])))]
        get_list = reader(self.inner("ptrRecord", False) + [
            "QList<XmlCommon::ptrCXmlElement> lstElements;",
            f"if (const int iResult = ConverterSupport::getElements({p}, {tag}, lstElements))",
            "    return iResult;",
            f"QList<{c}> lstRecords;",
            "for (const XmlCommon::ptrCXmlElement& ptrElement : qAsConst(lstElements))",
            f"    lstRecords.append({self.make_view('ptrElement')});",
            "a_lstRecords = lstRecords;",
            "return XmlCommon::RESULT_OK;"])
        if self.mode == "append":
            add, get = self.functions()
            return [
                (f"int {k}::{add}(const {c}& a_objRecord)",
                 writer(self.inner("ptrRecord", True) + [
                     "if (!a_objRecord.checkCompatibility())",
                     f"    return {ERR}INVALID_ARG;",
                     f"return ConverterSupport::addElement({p}, a_objRecord.getElementTree());"])),
                (f"int {k}::{get}(QList<{c}>& a_lstRecords) const", get_list)]
        if self.mode == "views":
            return [
                (f"int {k}::{self.getter()}(QList<{c}>& a_lstRecords) const",
                 reader(self.inner("ptrRecord", False) + [
                     "QList<XmlCommon::ptrCXmlElement> lstElements;",
                     f"if (const int iResult = ConverterSupport::getElements({p}, {tag}, lstElements))",
                     "    return iResult;",
                     f"QList<{c}> lstRecords;",
                     "for (const XmlCommon::ptrCXmlElement& ptrElement : qAsConst(lstElements))",
                     f"    lstRecords.append({self.make_view('ptrElement')});",
                     "a_lstRecords = lstRecords;",
                     "return XmlCommon::RESULT_OK;"])),
                (f"int {k}::{self.setter()}(const QList<{c}>& a_lstRecords)",
                 writer(self.inner("ptrRecord", True) + [
                     "QList<XmlCommon::ptrCXmlElement> lstElements;",
                     f"for (const {c}& objRecord : a_lstRecords) {{",
                     "    if (!objRecord.checkCompatibility())",
                     f"        return {ERR}INVALID_ARG;",
                     "    lstElements.append(objRecord.getElementTree());",
                     "}",
                     f"return ConverterSupport::setElements({p}, {tag}, lstElements);"]))]
        return [
            (f"int {k}::{self.getter()}({c}& a_objRecord) const",
             reader(self.inner("ptrRecord", False) + [
                 "XmlCommon::ptrCXmlElement ptrElement;",
                 f"if (const int iResult = ConverterSupport::getElement({p}, {tag}, ptrElement))",
                 "    return iResult;",
                 f"a_objRecord = {self.make_view('ptrElement')};",
                 "return XmlCommon::RESULT_OK;"])),
            (f"int {k}::{self.setter()}(const {c}& a_objRecord)",
             writer(self.inner("ptrRecord", True) + [
                 "if (!a_objRecord.checkCompatibility())",
                 f"    return {ERR}INVALID_ARG;",
                 f"return ConverterSupport::setElement({p}, {tag}, a_objRecord.getElementTree());"]))]


class StructKind(Kind):
    """Plain records below the element: one (struct) or a replaced list (structs)."""

    def __init__(self, m, ctx, k, many, name):
        super().__init__(m, ctx, k)
        self.many = many
        self.struct = ctx.klass(name, m.where)
        if self.struct.what != "struct":
            fail(m.where, f"{name} is not a struct")
        self.cpp = struct_cpp(self.struct)
        self.wrapper = ctx.tag(m.opts["in"], m.where) if "in" in m.opts else None

    def params(self):
        return [(f"QList<{self.cpp}>" if self.many else self.cpp, "a_lstRecords" if self.many else "a_objRecord")]

    def describe(self):
        return (f"records `{self.struct.name}`, the list replaced as a whole" if self.many
                else f"one record `{self.struct.name}`") + (f' inside "{self.m.opts["in"]}"' if self.wrapper else "")

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        (t, v), = self.params()
        fn = f"read_{self.struct.name}"
        lines = wrong_kind_guard(rec)
        parent = rec
        if self.wrapper:
            lines += [f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree({rec}, "
                      f"{self.wrapper});", "if (!ptrList)", f"    return {ERR}MISSING;"]
            parent = "ptrList"
        if self.many:
            return lines + [f"{t} lstRecords;",
                            f"for (const XmlCommon::ptrCXmlElement& ptrElement : "
                            f"XmlCommon::XmlTreeTools::findChildren({parent}, {self.tag})) {{",
                            f"    {self.cpp} objRecord;",
                            f"    if (const int iResult = {fn}(ptrElement, objRecord))",
                            "        return iResult;",
                            "    lstRecords.append(objRecord);",
                            "}",
                            f"{v} = lstRecords;",
                            "return XmlCommon::RESULT_OK;"]
        return lines + [f"const XmlCommon::ptrCXmlElement ptrElement = XmlCommon::XmlTreeTools::findTagInTree("
                        f"{parent}, {self.tag});",
                        "if (!ptrElement)", f"    return {ERR}MISSING;",
                        f"return {fn}(ptrElement, {v});"]

    def set_body(self, rec):
        (t, v), = self.params()
        fn = f"write_{self.struct.name}"
        lines, parent = [], rec
        if self.wrapper:
            lines += [f"const XmlCommon::ptrCXmlElement ptrList = XmlCommon::XmlTreeTools::findTagInTree(",
                      f"    {rec}, {self.wrapper}, XmlCommon::G_objCompEqual, false, true);"]
            parent = "ptrList"
        lines.append(f"XmlCommon::XmlTreeTools::removeTags({parent}, {self.tag});")
        if self.many:
            return lines + [f"for (const {self.cpp}& objRecord : {v}) {{",
                            f"    if (const int iResult = {fn}(Tools::createElement({parent}, {self.tag}), objRecord))",
                            "        return iResult;",
                            "}",
                            "return XmlCommon::RESULT_OK;"]
        return lines + [f"return {fn}(Tools::createElement({parent}, {self.tag}), {v});"]


class TwoPart(Kind):
    """A value in the element's text and a second one in an attribute of the same element."""

    def __init__(self, m, ctx, k, parts):
        super().__init__(m, ctx, k)
        self.parts = []
        for p in parts:
            kind, _, attr = p.partition("@")
            sub = Member(m.op, kind, "@" + attr if attr else m.element, m.unit if not attr else "", {}, m.where)
            sk = kind_of(sub, ctx, k)
            if not isinstance(sk, (Scalar, EnumKind)):
                fail(m.where, "the parts of a two-part value are typed values or enumerations")
            self.parts.append((sk, attr))
        if sorted(bool(a) for _, a in self.parts) != [False, True]:
            fail(m.where, "a two-part value has one part in the text and one @ATTRIBUTE")
        if not self.tag:
            fail(m.where, "a two-part value lives in an element")

    def params(self):
        out = []
        for i, (sk, attr) in enumerate(self.parts):
            (t, _), = sk.params()
            name = f"a_{'e' if isinstance(sk, EnumKind) else sk.prefix}{'Kind' if attr else 'Value'}"
            out.append((t, name))
        return out

    def describe(self):
        text = [sk.describe() for sk, a in self.parts if not a][0]
        attr = [(sk, a) for sk, a in self.parts if a][0]
        return f'{text}, with attribute "{attr[1]}": {attr[0].describe()}'

    def base_get(self):
        return None

    def base_set(self):
        return None

    def get_body(self, rec):
        lines = wrong_kind_guard(rec)
        names = self.params()
        for (sk, attr), (t, v) in zip(self.parts, names):
            lines.append(f"{t} {v[2:]}{{}};")
        for (sk, attr), (t, v) in zip(self.parts, names):
            if attr:
                continue
            if isinstance(sk, EnumKind):
                lines += [f"if (const int iResult = Tools::getEnum({rec}, {self.tag}, {v[2:]}, {sk.texts}))",
                          "    return iResult;"]
            else:
                lines += [f"if (const int iResult = Tools::get{sk.tool}({rec}, {self.tag}, {v[2:]}))",
                          "    return iResult;"]
        lines.append(f"const XmlCommon::ptrCXmlElement ptrElement = "
                     f"XmlCommon::XmlTreeTools::findTagInTree({rec}, {self.tag});")
        for (sk, attr), (t, v) in zip(self.parts, names):
            if not attr:
                continue
            if isinstance(sk, EnumKind):
                call = f'ConverterSupport::getEnumAttribute(ptrElement, "{attr}", {v[2:]}, {sk.texts})'
            else:
                call = f'ConverterSupport::getAttribute(ptrElement, "{attr}", {v[2:]})'
            lines += [f"if (const int iResult = {call})",
                      f"    return iResult == {ERR}MISSING ? int({ERR}MALFORMED) : iResult;"]
        for (sk, attr), (t, v) in zip(self.parts, names):
            lines.append(f"{v} = {v[2:]};")
        lines.append("return XmlCommon::RESULT_OK;")
        return lines

    def set_body(self, rec):
        lines = []
        names = self.params()
        for (sk, attr), (t, v) in zip(self.parts, names):
            if attr:
                continue
            if isinstance(sk, EnumKind):
                lines += [f"if (const int iResult = Tools::setEnum({rec}, {self.tag}, {v}, {sk.texts}))",
                          "    return iResult;"]
            else:
                lines += [f"if (const int iResult = Tools::set{sk.tool}({rec}, {self.tag}, {sk.set_args(v)}))",
                          "    return iResult;"]
        lines.append(f"const XmlCommon::ptrCXmlElement ptrElement = "
                     f"XmlCommon::XmlTreeTools::findTagInTree({rec}, {self.tag});")
        for (sk, attr), (t, v) in zip(self.parts, names):
            if not attr:
                continue
            if isinstance(sk, EnumKind):
                expr = f'ConverterSupport::setEnumAttribute(ptrElement, "{attr}", {v}, {sk.texts})'
                code = self.m.opts.get("setbad")
                if code:
                    lines += [f"const int iResult = {expr};",
                              f"return iResult == {ERR}INVALID_ARG ? int({ERR}{RESULTS[code][7:]}) : iResult;"]
                else:
                    lines.append(f"return {expr};")
            else:
                lines.append(f'return ConverterSupport::setAttribute(ptrElement, "{attr}", {v});')
        return lines


def needs_name(view, fam):
    """Whether a view's constructor takes its element name (directly or through its bases)."""
    if view.record == "@ctor":
        return True
    if view.record:
        return False
    return any(needs_name(b, b.family) for b in all_bases(view, fam) if b.what == "view")


def struct_cpp(s):
    if s.external:
        return f"{s.external}::{s.name}"
    inner = f"{s.scope}::{s.name}" if s.scope else s.name
    return f"{s.family.ns}::{inner}"


def kind_of(m, ctx, k):
    kind = m.kind
    if "," in kind:
        return TwoPart(m, ctx, k, kind.split(","))
    head, _, arg = kind.partition(":")
    if kind == "u32:u64":
        return Wide(m, ctx, k)
    if kind in SCALARS:
        return Scalar(m, ctx, k, kind)
    table = {
        "enum": lambda: EnumKind(m, ctx, k, arg),
        "enumnum": lambda: EnumNumber(m, ctx, k, arg),
        "items": lambda: Items(m, ctx, k, arg),
        "auto": lambda: Auto(m, ctx, k, arg),
        "list": lambda: ListKind(m, ctx, k, arg),
        "range": lambda: RangeKind(m, ctx, k, arg),
        "indexed": lambda: Indexed(m, ctx, k, arg),
        "texts": lambda: Texts(m, ctx, k),
        "tree": lambda: Tree(m, ctx, k),
        "fault": lambda: Fault(m, ctx, k),
        "cdata": lambda: CData(m, ctx, k),
        "fragments": lambda: Fragments(m, ctx, k),
        "fragmentlist": lambda: FragmentList(m, ctx, k),
        "custom": lambda: Custom(m, ctx, k),
        "converter": lambda: ConverterKind(m, ctx, k, arg),
        "view": lambda: ViewKind(m, ctx, k, "view", arg),
        "views": lambda: ViewKind(m, ctx, k, "views", arg),
        "repeat": lambda: ViewKind(m, ctx, k, "repeat", arg),
        "append": lambda: ViewKind(m, ctx, k, "append", arg),
        "struct": lambda: StructKind(m, ctx, k, False, arg),
        "structs": lambda: StructKind(m, ctx, k, True, arg),
    }
    if head not in table:
        fail(m.where, f"unknown kind '{kind}'")
    return table[head]()


def operations(k, ctx):
    """The operation names of a class without their get/set/add prefixes, in order."""
    ops = []

    def add(fn):
        for prefix in ("get", "set", "add"):
            if fn.startswith(prefix) and len(fn) > len(prefix) and not fn[len(prefix)].islower():
                fn = fn[len(prefix):]
                break
        if fn not in ops:
            ops.append(fn)

    for m in k.members:
        for fn in kind_of(m, ctx, k).functions():
            add(fn)
    for e in k.extras:
        add(e.split("(")[0].split()[-1])
    if k.causation:
        add("getCausationTree")
    return ops


# ----------------------------------------------------------------------------------------------
# Constructors and the compatibility rule


def direct_converter_base(k, fam):
    for b in k.bases:
        bk = fam.klass(b)
        if bk and bk.what == "class":
            return bk
    return None


def direct_view_base(k, fam):
    for b in k.bases:
        bk = fam.klass(b)
        if bk and bk.what == "view":
            return bk
    return None


def ctor_params(k, fam):
    """What a converter's constructors receive for its bases: [(kind, name)], kind component or attr."""
    own = []
    if k.component == "@ctor":
        own.append(("component", "component"))
    own += [("attr", a) for a, v in k.attrs if v == "@ctor"]
    base = direct_converter_base(k, fam)
    supplied = set()
    if k.component and k.component != "@ctor":
        supplied.add(("component", "component"))
    supplied |= {("attr", a) for a, v in k.attrs if v != "@ctor"}
    inherited = [p for p in ctor_params(base, fam) if p not in supplied] if base else []
    return own + inherited


def ctor_arg(p):
    kind, name = p
    return "a_objComponent" if kind == "component" else f"a_str{camel(name)}"


def ctor_decl(p):
    kind, name = p
    return "const XmlCommon::CTagname& a_objComponent" if kind == "component" else f"const QString& a_str{camel(name)}"


def ctor_member(p):
    kind, name = p
    return "m_objComponent" if kind == "component" else f"m_str{camel(name)}"


def base_ctor_args(k, fam, ctx):
    """The arguments k passes to its converter base for the base's constructor parameters."""
    base = direct_converter_base(k, fam)
    if not base:
        return []
    own = {p for p in ctor_params(k, fam)}
    args = []
    for p in ctor_params(base, fam):
        if p in own:
            args.append(ctor_arg(p))
        elif p[0] == "component":
            args.append(ctx.tag(k.component, k.where))
        else:
            value = dict(k.attrs)[p[1]]
            args.append(f'QStringLiteral("{value}")')
    return args


def compat_plan(k, fam, ctx):
    """None when k keeps its base's rule; else (component, data name, [(attribute, value or None)])."""
    if k.what != "class":
        return None
    base = direct_converter_base(k, fam)
    base_params = set(ctor_params(base, fam)) if base else set()
    consumed = ("component", "component") in base_params and k.component not in (None, "@ctor")
    own_attrs = [(a, v) for a, v in k.attrs if v != "@ctor" and ("attr", a) not in base_params]
    if not (k.data or own_attrs or (k.component and not consumed and k.component != "@ctor")
            or k.component == "@ctor" or any(v == "@ctor" for _, v in k.attrs)):
        return None
    chain = [k] + [b for b in all_bases(k, fam) if b.what == "class"]
    comp = next((c.component for c in chain if c.component), fam.settings.get("component"))
    data = next((c.data for c in chain if c.data), None)
    if not data:
        if k.abstract:
            return None
        fail(k.where, f"{k.name} has no data name")
    comp_expr = "m_objComponent" if comp == "@ctor" else ctx.tag(comp, k.where)
    attrs, seen = [], set()
    for c in chain:
        for a, v in c.attrs:
            if a in seen:
                continue
            seen.add(a)
            if v == "@ctor":
                attrs.append((a, f"m_str{camel(a)}"))
            elif v == "*":
                attrs.append((a, None))
            else:
                attrs.append((a, f'"{v}"'))
    return comp_expr, ctx.tag(data, k.where), attrs


# ----------------------------------------------------------------------------------------------
# The header


HEADER_START = "// Generated from the family's description file by tools/convgen; edit the description instead."


def enum_decl(e, indent, export=True):
    out = [f"{indent}enum {e.name} : int", f"{indent}{{"]
    out += [f"{indent}    {n} = {v}," for n, v, _ in e.values]
    out.append(f"{indent}}};")
    return out


def struct_decl(s, ctx, indent):
    out = [f"{indent}struct {s.name}", f"{indent}{{"]
    for m in s.members:
        kind = kind_of(m, ctx, s)
        (t, _), = kind.params()
        out.append(f"{indent}    {t} {m.op}{{}};  // {doc_element(m)}: {kind.describe()}")
    out.append(f"{indent}    bool operator==(const {s.name}& a_objOther) const")
    out.append(f"{indent}    {{")
    same = " && ".join(f"{m.op} == a_objOther.{m.op}" for m in s.members) or "true"
    out.append(f"{indent}        return {same};")
    out.append(f"{indent}    }}")
    out.append(f"{indent}}};")
    return out


def doc_element(m):
    if m.element == ".":
        return "the element's own text"
    if m.element.startswith("@"):
        return f'attribute "{m.element[1:]}"'
    return f'"{m.element}"'


def class_decl(k, fam, ctx):
    out = []
    bases = ", ".join(f"public {b}" for b in k.bases)
    out.append(f"class OXI_EXPORT {k.name} : {bases}")
    out.append("{")
    out.append("public:")
    for e in fam.enums.values():
        if e.scope == k.name:
            out += enum_decl(e, "    ")
            out.append("")
    for s in fam.klasses:
        if s.what == "struct" and s.scope == k.name:
            out += struct_decl(s, ctx, "    ")
            out.append("")
    out += constructors_decl(k, fam, ctx)
    out.append("")
    for m in k.members:
        kind = kind_of(m, ctx, k)
        out.append(f"    // {m.op}: {doc_element(m)}, {kind.describe()}.")
        out += ["    " + d for d in kind.declarations()]
    for e in k.extras:
        out.append(f"    {e};")
    if k.causation:
        out += ["    // The message's parameters that a fault code refers to, as empty elements (low 12 bits of the code).",
                "    static XmlCommon::CMsgFragment getCausationTree(unsigned int a_uiFaultCode);"]
    if k.what == "view":
        out += view_check_decl(k, fam)
    if k.what == "class" and direct_view_base(k, fam):
        out += ["",
                "    // The record is this converter's own data element.",
                "    bool checkCompatibility() const override;",
                "    void setCompatibility() override;",
                "    XmlCommon::ptrCXmlElement getElementTree() const override;"]
    plan = compat_plan(k, fam, ctx)
    if plan:
        out += ["", "protected:",
                "    bool checkCompatibility(XmlCommon::CDataTree& a_objDataTree) const override;",
                "    void setCompatibility(XmlCommon::CDataTree& a_objDataTree) override;"]
    members = [p for p in ctor_params(k, fam) if p in own_ctor_params(k)]
    if k.what == "view" and owns_name(k, fam):
        out += ["", "protected:", "    QString m_strName;"]
    if k.what == "view" and k.toplevel:
        out += ["", "protected:", "    bool m_bNested = true;"]
    if members:
        out += ["", "protected:"]
        for p in members:
            t = "XmlCommon::CTagname" if p[0] == "component" else "QString"
            out.append(f"    {t} {ctor_member(p)};")
    out.append("};")
    return out


def own_ctor_params(k):
    own = []
    if k.component == "@ctor":
        own.append(("component", "component"))
    own += [("attr", a) for a, v in k.attrs if v == "@ctor"]
    return own


def owns_name(k, fam):
    """A view that keeps the element name given to its constructor (no base does it for it)."""
    base = direct_view_base(k, fam)
    return k.record == "@ctor" and not (base and needs_name(base, fam))


def view_check_decl(k, fam):
    if not (k.record or k.toplevel):
        return []
    if k.record == "@ctor" and not owns_name(k, fam):
        return []
    root = not any(b.what == "view" for b in all_bases(k, fam))
    if root:
        return ["", "    // Bound to an element of the record's name (0x02420000 from every getter otherwise).",
                "    virtual bool checkCompatibility() const;",
                "    // Renames the bound element, or creates a free one to bind.",
                "    virtual void setCompatibility();"]
    if k.record == "@ctor" or k.toplevel or not view_name_from_base(k, fam):
        return ["", "    bool checkCompatibility() const override;", "    void setCompatibility() override;"]
    return []


def view_name_from_base(k, fam):
    """True when a view's name is handed to an @ctor base instead of checked by its own rule."""
    base = direct_view_base(k, fam)
    return bool(base) and needs_name(base, fam) and k.record and k.record != "@ctor"


def constructors_decl(k, fam, ctx):
    n = k.name
    access = "protected" if k.abstract else "public"
    out = []
    if access == "protected":
        out.append("protected:")
    if k.what == "view":
        if needs_name(k, fam) and k.record in ("@ctor", None):
            out += [f"    explicit {n}(const QString& a_strName);",
                    f"    {n}(const QString& a_strName, XmlCommon::ptrCXmlElement a_ptrElement);"]
        elif k.toplevel:
            out += [f"    // Nested below a message, or standing as a message's data element.",
                    f"    explicit {n}(bool a_bNested = true);",
                    f"    explicit {n}(XmlCommon::ptrCXmlElement a_ptrElement, bool a_bNested = true);"]
        else:
            out += [f"    {n}();", f"    explicit {n}(XmlCommon::ptrCXmlElement a_ptrElement);"]
    else:
        params = ctor_params(k, fam)
        if params:
            decl = ", ".join(ctor_decl(p) for p in params)
            out += [f"    explicit {n}({decl});",
                    f"    {n}({decl}, XmlCommon::CMsgFragment& a_objFragment);"]
        else:
            out += [f"    {n}();", f"    explicit {n}(XmlCommon::CMsgFragment& a_objFragment);"]
    out += [f"    {n}(const {n}&) = default;", f"    {n}& operator=(const {n}&) = default;"]
    if access == "protected":
        out.append("public:")
    return out


def ordered(fam):
    """Classes with every family base before them."""
    done, out = set(), []

    def visit(k):
        if k.name in done:
            return
        done.add(k.name)
        for b in k.bases:
            bk = fam.klass(b)
            if bk and bk.family is fam:
                visit(bk)
        out.append(k)

    for k in fam.klasses:
        visit(k)
    return out


def header(fam, ctx):
    ns = fam.ns
    out = [HEADER_START, "#pragma once", "",
           "#include <OrvexXmlInterface/OxiExport.h>",
           "#include <OrvexXmlInterface/xmlcommon/CConvBaseFragment.h>",
           "#include <OrvexXmlInterface/xmlcommon/CFaultTree.h>",
           "#include <OrvexXmlInterface/xmlcommon/Tagnames.h>", "",
           "#include <QtCore/QByteArray>", "#include <QtCore/QList>", "#include <QtCore/QMap>",
           "#include <QtCore/QStringList>", ""]
    for name, f in fam.imported.items():
        out.append(f"#include <OrvexXmlInterface/converters/{name}/{camel(name)}Converters.h>")
    out += [f"#include {p}" for p in fam.includes]
    out += ["", f"namespace {ns}", "{"]
    if fam.tags:
        out += ["// Element names of the family that the shared vocabulary lacks; Tag:: also reaches the vocabulary.",
                "namespace Tag", "{", "using namespace XmlCommon::Tag;"]
        out += [f"extern OXI_EXPORT const XmlCommon::CTagname {ident};" for ident in fam.tags]
        out += ["}  // namespace Tag", ""]
    for e in fam.enums.values():
        if not e.scope:
            out += enum_decl(e, "")
            out.append(f"extern OXI_EXPORT const XmlCommon::CEnumTexts<{e.name}> {e.texts()};")
            out.append("")
    for s in fam.klasses:
        if s.what == "struct" and not s.scope and not s.external:
            out += struct_decl(s, ctx, "")
            out.append("")
    for k in ordered(fam):
        if k.what == "struct":
            continue
        out += class_decl(k, fam, ctx)
        for e in fam.enums.values():
            if e.scope == k.name:
                out.append(f"extern OXI_EXPORT const XmlCommon::CEnumTexts<{k.name}::{e.name}> {e.texts()};")
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


# ----------------------------------------------------------------------------------------------
# The source


def function(signature, body):
    return [signature, "{"] + ["    " + line if line else "" for line in body] + ["}", ""]


def reader_for(k, fam):
    if k.what == "view":
        return lambda lines: ["const XmlCommon::ptrCXmlElement ptrRecord = checkCompatibility() ? getElementTree() "
                              ": XmlCommon::ptrCXmlElement();"] + lines
    return lambda lines: ["const XmlCommon::ptrCXmlElement ptrRecord = dataElement();"] + lines


def writer_for(k, fam):
    if k.what == "view":
        return lambda lines: ["setCompatibility();", "const XmlCommon::ptrCXmlElement ptrRecord = getElementTree();"] \
            + lines
    return lambda lines: ["const XmlCommon::ptrCXmlElement ptrRecord = shapedDataElement();"] + lines


def member_functions(k, m, ctx, fam):
    kind = kind_of(m, ctx, k)
    reader, writer = reader_for(k, fam), writer_for(k, fam)
    if hasattr(kind, "bodies"):
        return kind.bodies(reader, writer)
    params = kind.params()
    g = ", ".join(f"{t}& {n}" for t, n in params)
    s = ", ".join(arg_decl(t, n) for t, n in params)
    if kind.returns_tree:
        get_sig = f"XmlCommon::CDataTree {k.name}::{kind.getter()}() const"
        set_sig = f"int {k.name}::{kind.setter()}(XmlCommon::CDataTree a_objTree)"
    else:
        get_sig = f"int {k.name}::{kind.getter()}({g}) const"
        set_sig = f"int {k.name}::{kind.setter()}({s})"
    if k.what == "class" and kind.base_get():
        get_body = [kind.base_get()]
    else:
        get_body = reader(kind.get_body("ptrRecord"))
    if k.what == "class" and kind.base_set():
        set_body = [kind.base_set()]
    else:
        set_body = writer(kind.set_body("ptrRecord"))
    return [(get_sig, get_body), (set_sig, set_body)]


def constructors_def(k, fam, ctx):
    n, out = k.name, []
    if k.what == "view":
        base = direct_view_base(k, fam)
        base_name = k.bases[0]
        if needs_name(k, fam) and k.record in ("@ctor", None):
            owns = owns_name(k, fam)
            init = "m_strName(a_strName)" if owns else f"{base_name}(a_strName)"
            init2 = f"CDataTree(a_ptrElement), m_strName(a_strName)" if owns else \
                f"{base_name}(a_strName, a_ptrElement)"
            out += function(f"{n}::{n}(const QString& a_strName) : {init}", [])
            out += function(f"{n}::{n}(const QString& a_strName, XmlCommon::ptrCXmlElement a_ptrElement) : {init2}",
                            [])
        elif k.toplevel:
            first = f"{base_name}(a_ptrElement)" if base else "CDataTree(a_ptrElement)"
            out += function(f"{n}::{n}(bool a_bNested) : m_bNested(a_bNested)", [])
            out += function(f"{n}::{n}(XmlCommon::ptrCXmlElement a_ptrElement, bool a_bNested)"
                            f" : {first}, m_bNested(a_bNested)", [])
        else:
            if view_name_from_base(k, fam):
                name = f'QStringLiteral("{ctx_text(k.record)}")'
                out += function(f"{n}::{n}() : {base_name}({name})", [])
                out += function(f"{n}::{n}(XmlCommon::ptrCXmlElement a_ptrElement) : {base_name}({name}, a_ptrElement)",
                                [])
            else:
                out += [f"{n}::{n}() = default;", ""]
                out += function(f"{n}::{n}(XmlCommon::ptrCXmlElement a_ptrElement) : {base_name}(a_ptrElement)", [])
        return out
    params = ctor_params(k, fam)
    base = direct_converter_base(k, fam)
    view = direct_view_base(k, fam)
    args = base_ctor_args(k, fam, ctx)
    own = own_ctor_params(k)
    conv_base = base.name if base else k.bases[0]
    view_init = ""
    if view:
        view_init = f", {view.name}({'false' if view.toplevel else ''})" if view.toplevel else ""
    members = "".join(f", {ctor_member(p)}({ctor_arg(p)})" for p in own)
    decl = ", ".join(ctor_decl(p) for p in params)
    sep = ", " if decl else ""
    a = ", ".join(args)
    out += function(f"{n}::{n}({decl}) : {conv_base}({a}){view_init}{members}", [])
    out += function(f"{n}::{n}({decl}{sep}XmlCommon::CMsgFragment& a_objFragment)"
                    f" : {conv_base}({a}{', ' if a else ''}a_objFragment){view_init}{members}", [])
    return out


def ctx_text(name):
    return name


def causation_function(k, fam, ctx):
    comp, data, _ = effective(k, fam)
    body = [f"const XmlCommon::ptrCXmlElement ptrData(new XmlCommon::CXmlElement({ctx.tag(data, k.where)}));",
            "switch (a_uiFaultCode & 0xfffu) {"]
    for code, names in k.causation:
        body.append(f"case {code}:")
        body += [f"    ptrData->addChild(XmlCommon::ptrCXmlElement(new XmlCommon::CXmlElement({ctx.tag(n, k.where)})), -1);"
                 for n in names]
        body.append("    break;")
    body += ["default:", "    break;", "}",
             f"const XmlCommon::ptrCXmlElement ptrComponent(new XmlCommon::CXmlElement({ctx.tag(comp, k.where)}));",
             "ptrComponent->addChild(ptrData, -1);",
             "return XmlCommon::CMsgFragment(ptrComponent);"]
    return function(f"XmlCommon::CMsgFragment {k.name}::getCausationTree(unsigned int a_uiFaultCode)", body)


def check_functions(k, fam, ctx):
    out = causation_function(k, fam, ctx) if k.causation else []
    plan = compat_plan(k, fam, ctx)
    if plan:
        comp, data, attrs = plan
        checks = "".join(
            f' &&\n           ConverterSupport::hasAttribute(a_objDataTree.getElementTree(), "{a}", '
            + (f"{v or 'nullptr'})")
            for a, v in attrs)
        out += function(f"bool {k.name}::checkCompatibility(XmlCommon::CDataTree& a_objDataTree) const",
                        [f"return CConvBaseFragment::checkCompatibility({comp}, {data}, a_objDataTree){checks};"])
        sets = [f'a_objDataTree.getElementTree()->setAttribute("{a}", '
                + (f"{v});" if v.startswith("m_") else f"QStringLiteral({v}));") for a, v in attrs if v]
        out += function(f"void {k.name}::setCompatibility(XmlCommon::CDataTree& a_objDataTree)",
                        [f"CConvBaseFragment::setCompatibility({comp}, {data}, a_objDataTree);"] + sets)
    if k.what == "class" and direct_view_base(k, fam):
        out += function(f"bool {k.name}::checkCompatibility() const", ["return isCompatible();"])
        out += function(f"void {k.name}::setCompatibility()", ["makeFragment();"])
        out += function(f"XmlCommon::ptrCXmlElement {k.name}::getElementTree() const", ["return dataElement();"])
    if k.what == "view" and view_check_decl(k, fam):
        if k.toplevel:
            top, (attr, value) = k.toplevel
            nested = ctx.tag(k.record, k.where)
            out += function(f"bool {k.name}::checkCompatibility() const", [
                "const XmlCommon::ptrCXmlElement ptrElement = getElementTree();",
                "if (!ptrElement)", "    return false;",
                "if (m_bNested)", f"    return ptrElement->tagname() == {nested};",
                f"return ptrElement->tagname() == {ctx.tag(top, k.where)} &&",
                f'       ConverterSupport::hasAttribute(ptrElement, "{attr}", "{value}");'])
            out += function(f"void {k.name}::setCompatibility()", [
                "if (m_bNested) {",
                f"    ConverterSupport::shapeRecord(*this, {nested});",
                "    return;", "}",
                f"ConverterSupport::shapeRecord(*this, {ctx.tag(top, k.where)});",
                f'getElementTree()->setAttribute("{attr}", QStringLiteral("{value}"));'])
        else:
            name = "XmlCommon::CTagname(m_strName)" if k.record == "@ctor" else ctx.tag(k.record, k.where)
            out += function(f"bool {k.name}::checkCompatibility() const", [
                "const XmlCommon::ptrCXmlElement ptrElement = getElementTree();",
                f"return ptrElement && ptrElement->tagname() == {name};"])
            out += function(f"void {k.name}::setCompatibility()",
                            [f"ConverterSupport::shapeRecord(*this, {name});"])
    return out


def struct_functions(s, ctx):
    out = []
    t = struct_cpp(s)
    body = [f"{t} objRead;", "int iResult = XmlCommon::RESULT_OK;"]
    for m in s.members:
        kind = kind_of(m, ctx, s)
        (pt, pn), = kind.params()
        lines = kind.get_body("a_ptrRecord")
        optional = "optional" in m.opts
        body.append("if (iResult == XmlCommon::RESULT_OK) {")
        body.append(f"    {pt}& {pn} = objRead.{m.op};")
        body.append("    iResult = [&]() -> int {")
        body += ["        " + line for line in lines]
        body.append("    }();")
        if optional:
            body.append("    if (iResult == XmlCommon::RESULT_MISSING)")
            body.append("        iResult = XmlCommon::RESULT_OK;")
        body.append("}")
    body += ["if (iResult == XmlCommon::RESULT_OK)", "    a_objRecord = objRead;", "return iResult;"]
    out += function(f"[[maybe_unused]] int read_{s.name}(const XmlCommon::ptrCXmlElement& a_ptrRecord, {t}& a_objRecord)",
                    body)
    body = ["if (!a_ptrRecord)", f"    return {ERR}INVALID_ARG;", "int iResult = XmlCommon::RESULT_OK;"]
    for m in s.members:
        kind = kind_of(m, ctx, s)
        (pt, pn), = kind.params()
        body.append("if (iResult == XmlCommon::RESULT_OK) {")
        body.append(f"    const {pt}& {pn} = a_objRecord.{m.op};")
        body.append("    iResult = [&]() -> int {")
        body += ["        " + line for line in kind.set_body("a_ptrRecord")]
        body.append("    }();")
        body.append("}")
    body.append("return iResult;")
    out += function(f"[[maybe_unused]] int write_{s.name}(const XmlCommon::ptrCXmlElement& a_ptrRecord, "
                    f"const {t}& a_objRecord)", body)
    return out


def source(fam, ctx, header_name):
    ns = fam.ns
    out = [HEADER_START,
           f"#include <OrvexXmlInterface/converters/{fam.settings['family']}/{header_name}>", "",
           '#include "converters/ConverterSupport_p.h"'] + [f"#include {p}" for p in fam.private_includes] + ["",
           "namespace Tools = XmlCommon::XmlConverterTools;", "",
           f"namespace {ns}", "{"]
    if fam.tags:
        out += ["namespace Tag", "{"]
        out += [f'const XmlCommon::CTagname {ident}("{text}");' for ident, text in fam.tags.items()]
        out += ["}  // namespace Tag", ""]
    formats = sorted({m.opts["fmt"] for f in list(fam.imported.values()) + [fam] for k in f.klasses
                      for m in k.members if "fmt" in m.opts})
    structs = [s for f in list(fam.imported.values()) + [fam] for s in f.klasses if s.what == "struct"]
    if formats or structs:
        out += ["namespace", "{"]
        out += [f'const QString s_strFormat{f}(QStringLiteral("{f}"));' for f in formats]
        if formats:
            out.append("")
        for s in structs:
            out += struct_functions(s, ctx)
        out += ["}  // namespace", ""]
    for e in fam.enums.values():
        t = f"{e.scope}::{e.name}" if e.scope else e.name
        pre = f"{e.scope}::" if e.scope else ""
        out.append(f"const XmlCommon::CEnumTexts<{t}> {e.texts()}{{")
        out += [f'    {{{pre}{n}, "{x}"}},' for n, _, x in e.values]
        out += ["};", ""]
    for k in ordered(fam):
        if k.what == "struct":
            continue
        out += constructors_def(k, fam, ctx)
        for m in k.members:
            for sig, body in member_functions(k, m, ctx, fam):
                out += function(sig, body)
        out += check_functions(k, fam, ctx)
    out += ["const QList<struConverterInfo>& converters()", "{",
            "    static const QList<struConverterInfo> s_lstConverters{"]
    for k in ordered(fam):
        if k.what != "class":
            continue
        ops = ", ".join(f'QStringLiteral("{o}")' for o in operations(k, ctx))
        plan_data = effective(k, fam)[1]
        data = f'"{plan_data}"' if concrete(k) else "nullptr"
        create = ("nullptr" if not concrete(k) else
                  f"[](XmlCommon::CMsgFragment& a_objFragment) -> XmlCommon::CConvBaseFragment* "
                  f"{{ return new {k.name}(a_objFragment); }}")
        out.append(f'        {{"{k.name}", {data}, {create}, {{{ops}}}}},')
    out += ["    };", "    return s_lstConverters;", "}", f"}}  // namespace {ns}", ""]
    return "\n".join(out)


# ----------------------------------------------------------------------------------------------
# The reference page


def doc(fam, ctx):
    name = fam.settings["family"]
    out = [f"# {camel(name)} converters", "",
           f"Generated from `src/converters/{name}/{name}.conv` by `tools/convgen`; edit the description, "
           "not this page.",
           f"Namespace `{fam.ns}`" + (f', component "{fam.settings["component"]}" unless a class names another.'
                                      if "component" in fam.settings else "."),
           "Each value has a `getNAME`/`setNAME` pair unless the table names other operations; values marked",
           "*by hand* are written beside the generated code. Every getter answers 0x02420000 when the fragment",
           "(or the element a record view is bound to) is not the class's message, 0x02420002 when the value is",
           "missing and 0x02420003 when it is malformed; enumeration setters answer 0x02420001 for a value",
           "outside their table unless the table says otherwise.", ""]
    if fam.tags:
        out += ["## Element names defined in the family", "",
                ", ".join(f'"{t}"' for t in fam.tags.values()), ""]
    if fam.enums:
        out += ["## Enumerations", ""]
        for e in fam.enums.values():
            texts = ", ".join(f'{n} "{t}"' for _, n, t in e.values)
            out.append(f"- `{e.cpp()}`: {texts}")
        out.append("")
    structs = [s for s in fam.klasses if s.what == "struct"]
    if structs:
        out += ["## Records", ""]
        for s in structs:
            out.append(f"### `{struct_cpp(s).split('::', 1)[1]}`" +
                       (f' (element "{s.record}")' if s.record else ""))
            out += ["", "| field | element | form |", "|---|---|---|"]
            for m in s.members:
                out.append(f"| `{m.op}` | {doc_element(m)} | {kind_of(m, ctx, s).describe()}"
                           + (" (optional)" if "optional" in m.opts else "") + " |")
            out.append("")
    out += ["## Classes", ""]
    for k in ordered(fam):
        if k.what == "struct":
            continue
        out += doc_class(k, fam, ctx)
    chosen = fam.chosen
    if chosen:
        out += ["## Chosen where the definition is silent", ""]
        for where, text in chosen:
            out.append(f"- `{where}`: {text}" if where else f"- {text}")
        out.append("")
    return "\n".join(out)


def doc_class(k, fam, ctx):
    bases = ", ".join(f"`{b.split('::')[-1]}`" for b in k.bases)
    if k.what == "view":
        name = k.record if k.record and k.record != "@ctor" else "given to its constructor"
        head = f'Record view on an element "{name}"' if k.record and k.record != "@ctor" else \
            ("Record view on an element whose name is given to its constructor" if k.record == "@ctor"
             else "Record view")
        if k.toplevel:
            top, (a, v) = k.toplevel
            head += f' (as a message\'s data element: "{top}" with `{a}="{v}"`)'
    else:
        comp, data, attrs = effective(k, fam)
        parts = []
        if comp and comp != "@ctor":
            parts.append(f'component "{comp}"')
        elif comp == "@ctor":
            parts.append("component given by the derived class")
        if data:
            parts.append(f'data name "{data}"')
        for a, v in attrs:
            parts.append(f'`{a}` ' + ("required" if v == "*" else
                                     "given by the derived class" if v == "@ctor" else f'"{v}"'))
        head = "Converter: " + ", ".join(parts) if parts else "Converter base"
        if k.abstract:
            head += " (base, not built on its own)"
    out = [f"### `{k.name}`", "", f"{head}; derived from {bases}.", ""]
    if k.carries or k.count is not None:
        listed = ", ".join(c.replace("=", " as ") for c in k.carries) or "nothing"
        out += [f"Member table: {listed}" + (f" ({k.count} operations)" if k.count is not None else "") + ".", ""]
    if k.members or k.extras:
        out += ["| operations | element | form |", "|---|---|---|"]
        for m in k.members:
            kind = kind_of(m, ctx, k)
            fns = ", ".join(f"`{f}`" for f in kind.functions())
            out.append(f"| {fns} | {doc_element(m)} | {kind.describe()}{doc_options(m)} |")
        for e in k.extras:
            out.append(f"| `{e}` | | *by hand* |")
        out.append("")
    if k.causation:
        codes = "; ".join(f"{c}: " + ", ".join(f'"{n}"' for n in names) for c, names in k.causation)
        out += [f"`getCausationTree(faultCode)` names, by the code's low 12 bits, {codes}; any other code "
                "gives the data element without children.", ""]
    elif k.what == "class" and not k.abstract:
        out += ["No values: the message itself is the signal.", ""]
    return out


def doc_options(m):
    notes = []
    if "fmt" in m.opts:
        notes.append(f'format "{m.opts["fmt"]}" (not written)')
    if "getbad" in m.opts:
        notes.append(f"an unknown text gives {m.opts['getbad']}")
    if "setbad" in m.opts:
        notes.append(f"a value outside the table gives {m.opts['setbad']}")
    if "fallback" in m.opts:
        notes.append(f"a value outside the table writes {m.opts['fallback']}'s text")
    if "alias" in m.opts:
        notes.append(f"another name of {m.opts['alias']}")
    return "; " + "; ".join(notes) if notes else ""


# ----------------------------------------------------------------------------------------------
# The round-trip table of the tests


SAMPLES = {
    "bool": lambda i: "true" if i % 2 == 0 else "false",
    "u16": lambda i: f"static_cast<unsigned short>({1000 + i})",
    "u32": lambda i: f"{100000 + i}u",
    "u64": lambda i: f"{10000000000 + i}ull",
    "i32": lambda i: f"{-(1000 + i)}",
    "float": lambda i: f"{i}.5f",
    "double": lambda i: f"{i}.25",
    "time": lambda i: f"{1700000000000000 + i}ull",
}


def text_sample(m, i, suffix=""):
    if m.opts.get("fmt") == "IPv4":
        return f'QStringLiteral("10.1.{i % 250}.{(i + sum(map(ord, suffix))) % 250 + 1}")'
    return f'QStringLiteral("{m.op} {i}{suffix} <&>")'


def scalar_sample(scalar, m, i, suffix=""):
    return text_sample(m, i, suffix) if scalar == "text" else SAMPLES[scalar](i)


class TestGen:
    def __init__(self, fam, ctx):
        self.fam, self.ctx = fam, ctx

    def chain(self, k):
        """k's own and inherited members and samples, the root-most base first."""
        bases = [b for b in reversed(all_bases(k, self.fam))]
        return bases + [k]

    def view_sample(self, view, element, i):
        if needs_name(view, view.family):
            return f'sample_{view.name}(QStringLiteral("{element}"), {i})'
        return f"sample_{view.name}({i})"

    def samples(self, kind, i):
        m = kind.m
        if isinstance(kind, TwoPart):
            return [self.samples(sk, i)[0] for sk, _ in kind.parts]
        if isinstance(kind, EnumKind):
            return [f"RoundTrip::sample({kind.texts}, {i})"]
        if isinstance(kind, Wide):
            return [SAMPLES["u32"](i)]
        if isinstance(kind, Scalar):
            return [scalar_sample(kind.scalar, m, i)]
        if isinstance(kind, Auto):
            return ["true" if i % 2 == 0 else "false", scalar_sample(kind.inner.scalar, m, i)]
        if isinstance(kind, ListKind):
            return [f"{kind.cpp}{{{scalar_sample(kind.scalar, m, i)}, {scalar_sample(kind.scalar, m, i + 1)}}}"]
        if isinstance(kind, RangeKind):
            lo = scalar_sample(kind.scalar, m, i)
            hi = {"float": f"{i + 1}.5f", "i32": f"{-(1000 + i) + 1}"}.get(kind.scalar,
                                                                          scalar_sample(kind.scalar, m, i + 1))
            return [lo, hi]
        if isinstance(kind, Texts):
            return [f"QStringList{{{text_sample(m, i, 'a')}, {text_sample(m, i, 'b')}}}"]
        if isinstance(kind, Indexed):
            if kind.scalar == "text":
                return [f"QStringList{{{text_sample(m, i, 'a')}, {text_sample(m, i, 'b')}, {text_sample(m, i, 'c')}}}"]
            return [f"{kind.cpp}{{{', '.join(scalar_sample(kind.scalar, m, i + j) for j in range(3))}}}"]
        if isinstance(kind, Tree):
            return [f"RoundTrip::sampleTree({kind.tag}, {i})"]
        if isinstance(kind, Fault):
            return [f"RoundTrip::sampleFault({i})"]
        if isinstance(kind, FragmentList):
            return [f"QList<XmlCommon::CMsgFragment>{{RoundTrip::sampleFragment({i}), RoundTrip::sampleFragment({i + 1})}}"]
        if isinstance(kind, Custom):
            if "sample" not in m.opts:
                fail(m.where, "a custom value needs sample= for the tests")
            return [m.opts["sample"]]
        if isinstance(kind, ConverterKind):
            return [f"RoundTrip::sampleConverter<{kind.cpp}>({i})"]
        if isinstance(kind, CData):
            return [f'QByteArray("<{m.op} n=\\"{i}\\"/>\\n& more")']
        if isinstance(kind, ViewKind):
            one = self.view_sample(kind.view, m.element, i)
            if kind.mode == "views":
                two = self.view_sample(kind.view, m.element, i + 1)
                return [f"QList<{kind.cpp}>{{{one}, {two}}}"]
            return [one]
        if isinstance(kind, StructKind):
            one = f"{struct_sample_name(kind.struct)}({i})"
            if kind.many:
                return [f"QList<{kind.cpp}>{{{one}, {struct_sample_name(kind.struct)}({i + 1})}}"]
            return [one]
        fail(m.where, "no sample for this kind")

    def set_calls(self, k, kind, i):
        if isinstance(kind, Fragments):
            return [f"c.{kind.adder()}(RoundTrip::sampleFragment({i}));",
                    f"c.{kind.adder()}(RoundTrip::sampleFragment({i + 1}));"]
        if isinstance(kind, Items):
            add = kind.functions()[0]
            return [f'RoundTrip::expectCode(f, "{add}", c.{add}({struct_sample_name(kind.struct)}({i})), 0);',
                    f'RoundTrip::expectCode(f, "{add}", c.{add}({struct_sample_name(kind.struct)}({i + 1})), 0);']
        if isinstance(kind, ViewKind) and kind.mode in ("repeat", "append"):
            add = kind.functions()[0]
            return [f'RoundTrip::expectCode(f, "{add}", c.{add}({self.view_sample(kind.view, kind.m.element, i)}), 0);',
                    f'RoundTrip::expectCode(f, "{add}", c.{add}({self.view_sample(kind.view, kind.m.element, i + 1)}), 0);']
        args = ", ".join(self.samples(kind, i))
        return [f'RoundTrip::expectCode(f, "{kind.setter()}", c.{kind.setter()}({args}), 0);']

    def check_calls(self, kind, i):
        if isinstance(kind, Fragments):
            return ["{", "    QList<XmlCommon::CMsgFragment> lst;",
                    f'    RoundTrip::expect(f, "{kind.getter()}", c.{kind.getter()}(lst), lst, '
                    f"QList<XmlCommon::CMsgFragment>{{RoundTrip::sampleFragment({i}), "
                    f"RoundTrip::sampleFragment({i + 1})}});", "}"]
        if isinstance(kind, Items):
            add, get, count = kind.functions()
            name = struct_sample_name(kind.struct)
            return [f'RoundTrip::expectCode(f, "{count}", c.{count}(), 2);',
                    f'RoundTrip::expect(f, "{get}", 0, c.{get}(0), {name}({i}));',
                    f'RoundTrip::expect(f, "{get}", 0, c.{get}(1), {name}({i + 1}));',
                    f'RoundTrip::expect(f, "{get}", 0, c.{get}(2), {kind.cpp}());']
        if isinstance(kind, ViewKind) and kind.mode == "append":
            add, get = kind.functions()
            one = self.view_sample(kind.view, kind.m.element, i)
            two = self.view_sample(kind.view, kind.m.element, i + 1)
            return ["{", f"    QList<{kind.cpp}> lst;",
                    f'    RoundTrip::expect(f, "{get}", c.{get}(lst), lst, QList<{kind.cpp}>{{{one}, {two}}});', "}"]
        if isinstance(kind, ViewKind) and kind.mode == "repeat":
            add, at, count = kind.functions()
            out = [f'RoundTrip::expectCode(f, "{count}", int(c.{count}()), 2);']
            for j in range(2):
                out += ["{", f"    {kind.cpp} v = {self.view_sample(kind.view, kind.m.element, i + j)};",
                        f'    RoundTrip::expect(f, "{at}", c.{at}({j}, v), v, '
                        f"{self.view_sample(kind.view, kind.m.element, i + j)});", "}"]
            return out
        if isinstance(kind, Tree):
            return [f'RoundTrip::expect(f, "{kind.getter()}", 0, c.{kind.getter()}(), '
                    f"{self.samples(kind, i)[0]});"]
        exps = self.samples(kind, i)
        params = kind.params()
        out = ["{"]
        for (t, n), e in zip(params, exps):
            init = e if isinstance(kind, ViewKind) else "{}"
            out.append(f"    {t} {n[2:]}{'(' + init + ')' if init != '{}' else '{}'};")
        args = ", ".join(n[2:] for _, n in params)
        out.append(f"    const int iResult = c.{kind.getter()}({args});")
        for idx, ((t, n), e) in enumerate(zip(params, exps)):
            if isinstance(kind, Auto) and idx == 1 and exps[0] == "true":
                continue
            out.append(f'    RoundTrip::expect(f, "{kind.getter()}", iResult, {n[2:]}, static_cast<{t}>({e}));')
        out.append("}")
        return out

    def class_functions(self, k):
        name = self.ctx.qualified(k)
        out, i = [], 0
        sets, checks, enums = [], [], []
        seeds = {}
        # Where two values share one place (an element or attribute written by both), the later
        # one's value stands: the earlier is tested on its own by its enumeration block only.
        last = {}
        fixed = {f"@{a}" for a, v in effective(k, self.fam)[2] if v not in ("*", "@ctor")} if k.what == "class" else set()
        for c in self.chain(k):
            for m in c.members:
                if "alias" not in m.opts:
                    last[slot(m)] = m
        for c in self.chain(k):
            for m in c.members:
                kind = kind_of(m, self.ctx, c)
                if isinstance(kind, ViewKind) and self.reaches(kind.view, k, set()):
                    # A record that holds records of its own kind: its sample would never end.
                    continue
                if m.element in fixed:
                    # The class's own rule writes this attribute with every value.
                    continue
                if "alias" not in m.opts and last[slot(m)] is not m:
                    enums += self.enum_block(k, kind)
                    continue
                if "alias" in m.opts:
                    # Another name of a value set above: it reads what that one wrote.
                    if m.opts["alias"] not in seeds:
                        fail(m.where, f"alias of an unknown value {m.opts['alias']}")
                    checks += self.check_calls(kind, seeds[m.opts["alias"]])
                    continue
                seeds[m.op] = i
                sets += self.set_calls(k, kind, i)
                checks += self.check_calls(kind, i)
                enums += self.enum_block(k, kind)
                i += 3
            sets += [s if s.endswith(";") else s + ";" for s in c.samples]
            checks += [f'if (!({v}))\n        f << QStringLiteral("verify: {v.replace(chr(34), chr(39))}");'
                       for v in c.verifies]
        out += function(f"void setAll_{k.name}({name}& c, QStringList& f)", ["Q_UNUSED(c);", "Q_UNUSED(f);"] + sets)
        out += function(f"void check_{k.name}(const {name}& c, QStringList& f)",
                        ["Q_UNUSED(c);", "Q_UNUSED(f);"] + checks)
        return out, enums

    def fresh(self, k):
        name = self.ctx.qualified(k)
        if k.what == "view":
            if needs_name(k, k.family):
                return [f'{name} c(QStringLiteral("{example_name(k)}"));']
            return [f"{name} c;"]
        return [f"{name} c;", "c.makeFragment();"] + [p if p.endswith(";") else p + ";" for p in self.prep(k)]

    def prep(self, k):
        out = []
        for c in self.chain(k):
            out += c.prepares
        return out

    def root(self, k):
        return "c.getElementTree()" if k.what == "view" else "c.getFragment().getDataTree().getElementTree()"

    def enum_block(self, k, kind):
        if isinstance(kind, EnumKind):
            parts = [(kind, kind.attr)]
            tag = kind.tag
        elif isinstance(kind, TwoPart):
            parts = [(sk, a) for sk, a in kind.parts if isinstance(sk, EnumKind)]
            tag = kind.tag
        else:
            return []
        out = []
        for ek, attr in parts:
            samples = self.samples(kind, 0)
            bad = list(samples)
            pos = 0 if not isinstance(kind, TwoPart) else [p[0] for p in kind.parts].index(ek)
            bad[pos] = f"RoundTrip::outside({ek.texts})"
            fallback = kind.m.opts.get("fallback")
            want_set = "0" if fallback else \
                f"int({ERR}{RESULTS[kind.m.opts.get('setbad', '0x02420001')][7:]})"
            want_get = f"int({ERR}{RESULTS[kind.m.opts.get('getbad', '0x02420003')][7:]})"
            outs = [f"{t} {n[2:]}{{}};" for t, n in kind.params()]
            args = ", ".join(n[2:] for _, n in kind.params())
            tag_arg = f"&{tag}" if tag else "nullptr"
            attr_arg = f'"{attr}"' if attr else "nullptr"
            block = ["{"] + ["    " + line for line in self.fresh(k)] + [
                f'    RoundTrip::expectCode(f, "{kind.setter()} outside the table", '
                f"c.{kind.setter()}({', '.join(bad)}), {want_set});"]
            block += ["    " + o for o in outs]
            if fallback:
                fb = f"{ek.cpp.rsplit('::', 1)[0]}::{fallback}" if "::" in ek.cpp else fallback
                block.append(f'    RoundTrip::expect(f, "{kind.getter()} after a value outside the table", '
                             f"c.{kind.getter()}({args}), {kind.params()[pos][1][2:]}, static_cast<{ek.cpp}>({fb}));")
            block += [f'    RoundTrip::expectCode(f, "{kind.setter()}", c.{kind.setter()}({", ".join(samples)}), 0);']
            if isinstance(kind, EnumKind):
                block.append(f'    RoundTrip::expect(f, "{kind.getter()}", c.{kind.getter()}({args}), {args}, '
                             f"static_cast<{ek.cpp}>({samples[0]}));")
            block += [f"    RoundTrip::corrupt({self.root(k)}, {tag_arg}, {attr_arg});",
                      f'    RoundTrip::expectCode(f, "{kind.getter()} of an unknown text", c.{kind.getter()}({args}), '
                      f"{want_get});", "}"]
            out += block
        return out

    def generate(self, path_header):
        fam, ctx = self.fam, self.ctx
        out = ["// Generated from the family's description file by tools/convgen: the round-trip table of the tests.",
               '#include "RoundTripSupport.h"', "",
               f"#include <OrvexXmlInterface/converters/{fam.settings['family']}/{path_header}>", "",
               "namespace", "{"]
        # Records of imported families that members use are built here as well.
        imported = [k for f in fam.imported.values() for k in ordered(f)]
        klasses = [k for k in ordered(fam) if k.what != "struct"]
        for s in [k for k in imported + fam.klasses if k.what == "struct"]:
            out += self.struct_sample(s)
        used = self.used_views()
        for v in [k for k in imported + klasses if k.what == "view" and k.name in used]:
            name = self.ctx.qualified(v)
            sig = (f"{name} sample_{v.name}(const QString& a_strName, int a_iSeed)" if needs_name(v, v.family)
                   else f"{name} sample_{v.name}(int a_iSeed)")
            out.append(sig + ";")
        out.append("")
        cases = []
        for k in [v for v in imported if v.what == "view" and v.name in used] + klasses:
            if k.abstract or (k.what == "class" and not concrete(k)):
                continue
            fns, enums = self.class_functions(k)
            out += fns
            name = ctx.qualified(k)
            if k.what == "view" and k.name in used:
                if needs_name(k, k.family):
                    out += function(f"{name} sample_{k.name}(const QString& a_strName, int a_iSeed)",
                                    [f"{name} c(a_strName);"] + SEEDED_SAMPLE(k.name))
                else:
                    out += function(f"{name} sample_{k.name}(int a_iSeed)", [f"{name} c;"] + SEEDED_SAMPLE(k.name))
            if k.abstract or (k.what == "class" and not concrete(k)) or k.family is not fam:
                continue
            build = self.fresh(k) + ["QStringList f;", f"setAll_{k.name}(c, f);",
                                     "if (!f.isEmpty())", "    qWarning() << f;",
                                     "return " + ("c.getElementTree();" if k.what == "view" else "c.getTree();")]
            out += function(f"XmlCommon::ptrCXmlElement build_{k.name}()", build)
            if k.what == "view":
                ctor = f'QStringLiteral("{example_name(k)}"), a_ptrTree' if needs_name(k, fam) else "a_ptrTree"
                read = [f"const {name} c({ctor});"]
            else:
                read = ["XmlCommon::CMsgFragment objFragment(a_ptrTree);", f"const {name} c(objFragment);"]
            out += function(f"QStringList readBack_{k.name}(const XmlCommon::ptrCXmlElement& a_ptrTree)",
                            read + ["QStringList f;", f"check_{k.name}(c, f);", "return f;"])
            out += function(f"QStringList enumCodes_{k.name}()", ["QStringList f;"] + enums + ["return f;"])
            if k.what == "class":
                out += function(f"void prepare_{k.name}(XmlCommon::CConvBaseFragment& a_objConverter)",
                                [f"{name}& c = static_cast<{name}&>(a_objConverter);", "c.makeFragment();"] +
                                [p if p.endswith(";") else p + ";" for p in self.prep(k)])
                out += function(f"XmlCommon::CConvBaseFragment* create_{k.name}(XmlCommon::CMsgFragment& a_objFragment)",
                                [f"return new {name}(a_objFragment);"])
            data = f'"{effective(k, fam)[1]}"' if k.what == "class" else "nullptr"
            create = f"create_{k.name}" if k.what == "class" else "nullptr"
            prepare = f"prepare_{k.name}" if k.what == "class" else "nullptr"
            accepts = f'"{",".join(k.accepts)}"' if k.accepts else "nullptr"
            cases.append(f'    {{"{k.name}", {data}, {create}, {prepare}, build_{k.name}, readBack_{k.name}, '
                         f"enumCodes_{k.name}, {accepts}}},")
        out += ["}  // namespace", "",
                f"namespace {fam.ns}", "{",
                "QList<RoundTrip::struCase> roundTripCases()", "{",
                "    return {"] + ["    " + c for c in cases] + ["    };", "}", f"}}  // namespace {fam.ns}", ""]
        return "\n".join(out)

    def reaches(self, view, target, seen):
        """Whether a record view holds, at any depth, records of target's kind (or of its bases)."""
        if view.name in seen:
            return False
        seen.add(view.name)
        if view is target or view in all_bases(target, self.fam):
            return True
        for c in self.chain(view):
            for m in c.members:
                kind = kind_of(m, self.ctx, c)
                if isinstance(kind, ViewKind) and self.reaches(kind.view, target, seen):
                    return True
        return False

    def used_views(self):
        """The record views that members of the family carry, so that their samples are needed."""
        used = set()
        for k in self.fam.klasses:
            for m in k.members:
                kind = kind_of(m, self.ctx, k)
                if isinstance(kind, ViewKind):
                    used.add(kind.view.name)
        return used

    def struct_sample(self, s):
        t = struct_cpp(s)
        body = [f"{t} objRecord;"]
        for j, m in enumerate(s.members):
            kind = kind_of(m, self.ctx, s)
            body.append(f"objRecord.{m.op} = {self.seeded(kind, j)};")
        body.append("return objRecord;")
        return function(f"[[maybe_unused]] {t} {struct_sample_name(s)}(int a_iSeed)", body)

    def seeded(self, kind, j):
        """A field's sample that depends on the seed, so that two records of a list differ."""
        m = kind.m
        if isinstance(kind, Scalar) and kind.scalar == "text":
            if m.opts.get("fmt") == "IPv4":
                return f"QStringLiteral(\"10.2.%1.{j + 1}\").arg(a_iSeed % 250)"
            return f'QStringLiteral("{m.op} %1 <&>").arg(a_iSeed)'
        if isinstance(kind, Scalar) and kind.scalar in ("u16", "u32", "u64", "time"):
            return f"{self.samples(kind, j)[0]} + static_cast<{kind.cpp}>(a_iSeed)"
        if isinstance(kind, Scalar) and kind.scalar == "i32":
            return f"{self.samples(kind, j)[0]} - a_iSeed"
        if isinstance(kind, EnumKind):
            return f"RoundTrip::sample({kind.texts}, a_iSeed + {j})"
        return self.samples(kind, j)[0]


def struct_sample_name(s):
    return f"sample_{s.family.ns}_{s.name}"


def slot(m):
    """Where a member keeps its value: its wrapper element, its element or its attribute."""
    return m.opts.get("in") or m.element


def SEEDED_SAMPLE(name):
    # Records of one list carry the same values; a marker tells them apart, so that a list read
    # back in another order does not pass.
    return ["QStringList f;", f"setAll_{name}(c, f);",
            'c.getElementTree()->setAttribute("sample", QString::number(a_iSeed));', "return c;"]


def example_name(k):
    return k.example


# ----------------------------------------------------------------------------------------------


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return  # unchanged: keep the time stamp, spare the rebuild
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("description")
    parser.add_argument("--vocabulary", required=True)
    parser.add_argument("--header")
    parser.add_argument("--source")
    parser.add_argument("--doc")
    parser.add_argument("--tests")
    args = parser.parse_args()
    vocabulary = read_vocabulary(args.vocabulary)
    try:
        fam = parse(args.description, vocabulary)
        ctx = Context(fam, vocabulary)
        header_name = f"{camel(fam.settings['family'])}Converters.h"
        if args.header:
            write_if_changed(args.header, header(fam, ctx))
        if args.source:
            write_if_changed(args.source, source(fam, ctx, header_name))
        if args.doc:
            write_if_changed(args.doc, doc(fam, ctx))
        if args.tests:
            write_if_changed(args.tests, TestGen(fam, ctx).generate(header_name))
    except DescriptionError as e:
        sys.exit(str(e))


if __name__ == "__main__":
    main()
