"""Writes type stubs (.pyi) for built pybind11 extension modules.

    generate_stubs.py OUTPUT_DIR MODULE [MODULE ...]

The modules are imported in the order given (a module that converts another
one's types must come after it, or its signatures name C++ types). Every
signature comes from the docstrings pybind11 writes ("name(arg: type) -> type"),
every class, property and constant from inspecting the module, so the stubs
follow the bindings as they change. For each module NAME the stubs go to
OUTPUT_DIR/NAME/__init__.pyi, one NAME/SUB.pyi per submodule, and a py.typed
marker: beside NAME.cpython-*.so the import system still loads the extension
module, while type checkers read the stub package.
"""

import argparse
import importlib
import inspect
import pathlib
import re
import sys
import types

TYPING_NAMES = ("Any", "Callable", "ClassVar", "Dict", "Generator", "Iterable", "Iterator", "List", "Optional",
                "Sequence", "Set", "Tuple", "Union", "overload")
LIST = re.compile(r"\bList\[")
# Attributes every pybind11 class or module has and a stub leaves out.
SKIPPED = {"__doc__", "__module__", "__dict__", "__weakref__", "__name__", "__package__", "__loader__", "__spec__",
           "__file__", "__builtins__", "__cached__", "__path__", "__qualname__", "__entries", "__members__"}
SIGNATURE = re.compile(r"^(?P<name>[A-Za-z_][A-Za-z0-9_]*)?\((?P<parameters>.*)\)\s*->\s*(?P<result>.+)$")


class StubError(Exception):
    pass


def split_top_level(text, separator=","):
    """Splits at separators that are not inside brackets or quotes."""
    parts, depth, quote, current = [], 0, None, []
    for char in text:
        if quote:
            current.append(char)
            if char == quote:
                quote = None
            continue
        if char in "'\"":
            quote = char
        elif char in "[(":
            depth += 1
        elif char in "])":
            depth -= 1
        elif char == separator and depth == 0:
            parts.append("".join(current).strip())
            current = []
            continue
        current.append(char)
    if "".join(current).strip():
        parts.append("".join(current).strip())
    return parts


class TypeNamer:
    """Turns the type names of pybind11 signatures into names valid in one stub file."""

    def __init__(self, module_name, classes_by_cpp_name):
        self.module_name = module_name
        self.classes_by_cpp_name = classes_by_cpp_name
        self.imports = set()
        self.typing = set()
        self.unresolved = set()

    def __call__(self, text):
        text = text.strip()
        # Fixed-size sequences (std::array) read "float[3]": a plain list element.
        text = re.sub(r"(?<=[A-Za-z_\]])\[\d+\]", "", text)
        text = re.sub(r"[A-Za-z_][A-Za-z0-9_]*(?:::[A-Za-z_][A-Za-z0-9_]*)+", self._cpp_name, text)
        return re.sub(r"[A-Za-z_][A-Za-z0-9_.]*", self._dotted_name, text)

    def _cpp_name(self, match):
        """A C++ name stands where a class was not registered yet when the binding was made."""
        cpp_name = match.group(0)
        python_name = self.classes_by_cpp_name.get(cpp_name.rsplit("::", 1)[-1])
        if python_name is None:
            self.unresolved.add(cpp_name)
            return "Any"
        return python_name

    def _dotted_name(self, match):
        name = match.group(0)
        if name in TYPING_NAMES:
            self.typing.add(name)
            return name
        if name == "os.PathLike":
            # A path argument takes a str as well as any os.PathLike.
            self.imports.add("os")
            self.typing.add("Union")
            return "Union[str, os.PathLike[str]]"
        if name == "handle":
            return "object"
        if name == "dict":
            # pybind11 writes a bare dict for py::dict, whose keys the bindings make strings.
            self.typing.update({"Dict", "Any"})
            return "Dict[str, Any]"
        if name == "numpy.ndarray":
            # pybind11 writes numpy.ndarray[numpy.float64]; NumPy's own generic takes the scalar type this way.
            self.imports.add("numpy.typing")
            return "numpy.typing.NDArray"
        if name == "function":
            self.typing.update({"Callable", "Any"})
            return "Callable[..., Any]"
        if "." not in name:
            return name
        if name.startswith(self.module_name + "."):
            return name[len(self.module_name) + 1:]
        top = name.split(".", 1)[0]
        if top == self.module_name.split(".", 1)[0]:
            # A submodule's stub names its parent's types through the parent.
            self.imports.add(top)
            return name
        self.imports.add(name.rsplit(".", 1)[0] if top != "os" else "os")
        return name


class Signature:
    def __init__(self, parameters, result, doc):
        self.parameters = parameters
        self.result = result
        self.doc = doc


def parse_signatures(doc, name):
    """The signatures and docstrings pybind11 wrote for one function, one per overload."""
    lines = (doc or "").strip("\n").split("\n")
    # Functions pybind11 adds itself (an enum's __str__) may carry another name.
    if not lines or not re.match(r"[A-Za-z_0-9]*\(", lines[0]):
        raise StubError(f"{name}: no pybind11 signature in its docstring: {lines[:1]}")
    if len(lines) > 1 and lines[1] == "Overloaded function.":
        signatures = []
        body = "\n".join(lines[2:])
        for block in re.split(r"\n(?=\d+\. )", body.strip("\n")):
            header, _, rest = block.partition("\n")
            signatures.append(parse_one(re.sub(r"^\d+\. ", "", header), rest, name))
        return signatures
    return [parse_one(lines[0], "\n".join(lines[1:]), name)]


def parse_one(header, rest, name):
    match = SIGNATURE.match(header.strip())
    if not match:
        raise StubError(f"{name}: cannot read the signature {header!r}")
    parameters = []
    for parameter in split_top_level(match.group("parameters")):
        if parameter.startswith("*"):
            parameters.append((parameter, None, False))
            continue
        declaration, _, default = parameter.partition("=")
        parameter_name, _, annotation = declaration.partition(":")
        parameters.append((parameter_name.strip(), annotation.strip() or None, bool(default.strip())))
    return Signature(parameters, match.group("result").strip(), inspect.cleandoc(rest.strip("\n")))


class StubWriter:
    def __init__(self, module, namer, callable_classes):
        self.module = module
        self.name = namer
        self.callable_classes = callable_classes
        self.lines = []

    def emit(self, indent, text=""):
        self.lines.append("    " * indent + text if text else "")

    def docstring(self, indent, doc):
        if not doc:
            return False
        doc = doc.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
        if "\n" in doc:
            self.emit(indent, '"""' + doc.split("\n", 1)[0])
            for line in doc.split("\n")[1:]:
                self.emit(indent, line)
            self.emit(indent, '"""')
        else:
            self.emit(indent, f'"""{doc}"""')
        return True

    def function(self, indent, name, function, kind):
        doc = function.__doc__
        signatures = parse_signatures(doc, name)
        for signature in signatures:
            if kind == "static":
                self.emit(indent, "@staticmethod")
            if len(signatures) > 1:
                self.emit(indent, "@overload")
                self.name.typing.add("overload")
            self.emit(indent, f"def {name}({self.parameters(name, signature, kind)}) -> {self.name(signature.result)}:")
            header = len(self.lines) - 1
            if not self.docstring(indent + 1, signature.doc):
                self.lines[-1] += " ..."
            # A comparison that builds a condition (Trigger.Value == 1) answers no bool.
            if name in ("__eq__", "__ne__") and signature.result != "bool":
                self.lines[header] += "  # type: ignore[override]"

    def parameters(self, function_name, signature, kind):
        rendered = []
        for index, (name, annotation, has_default) in enumerate(signature.parameters):
            if index == 0 and kind == "method":
                rendered.append("self")
            elif name == "*":
                # The marker of keyword-only arguments (py::kw_only) has no type.
                rendered.append(name)
            elif name.startswith("*"):
                rendered.append(f"{name}: Any")
                self.name.typing.add("Any")
            else:
                text = name + (f": {self.annotation(function_name, annotation)}" if annotation else "")
                rendered.append(text + (" = ..." if has_default else ""))
        # pybind11 names unnamed arguments arg0, arg1, ...: they take no keywords.
        unnamed = [index for index, parameter in enumerate(signature.parameters)
                   if re.fullmatch(r"arg\d+", parameter[0])]
        if unnamed:
            rendered.insert(unnamed[-1] + 1, "/")
        return ", ".join(rendered)

    def annotation(self, function_name, annotation):
        """A parameter's type as a caller may pass it."""
        if function_name in ("__eq__", "__ne__"):
            # Comparison operators return NotImplemented for other types.
            return "object"
        typed = self.accepted(self.name(annotation))
        return re.sub(r"\b[A-Za-z_][A-Za-z0-9_.]*\b", self._implicit, typed)

    def accepted(self, typed):
        """A type as an argument: pybind11 converts any sequence (a tuple, a list of ints for floats) to a list."""
        if LIST.search(typed):
            self.name.typing.add("Sequence")
        return LIST.sub("Sequence[", typed)

    def _implicit(self, match):
        """A class built from a single callable converts from any callable (pybind11 implicit conversion)."""
        name = match.group(0)
        if name in self.callable_classes or f"{self.module.__name__}.{name}" in self.callable_classes:
            self.name.typing.update({"Union", "Callable", "Any"})
            return f"Union[{name}, Callable[..., Any]]"
        return name

    def awaitable_result(self, cls):
        """`__await__` hands back a future whose await gives what `get` returns."""
        get = inspect.getattr_static(cls, "get", None)
        self.name.typing.update({"Generator", "Any"})
        if get is None:
            return "Generator[Any, None, Any]"
        return f"Generator[Any, None, {self.name(parse_signatures(get.__doc__, 'get')[0].result)}]"

    def cls(self, indent, name, cls):
        bases = [base for base in cls.__bases__ if base.__module__ != "pybind11_builtins" and base is not object]
        base_names = ", ".join(self.name(f"{base.__module__}.{base.__qualname__}") for base in bases)
        self.emit(indent, f"class {name}({base_names}):" if base_names else f"class {name}:")
        start = len(self.lines)
        self.docstring(indent + 1, cls.__doc__)
        members = vars(cls)
        for member_name, member in members.items():
            if member_name in SKIPPED:
                continue
            self.member(indent + 1, cls, member_name, member)
        if "__eq__" in members and members.get("__hash__", object) is None:
            self.name.typing.add("ClassVar")
            self.emit(indent + 1, "__hash__: ClassVar[None]  # type: ignore[assignment]")
        if len(self.lines) == start:
            self.emit(indent + 1, "...")
        self.emit(indent)

    def member(self, indent, cls, name, member):
        kind = type(member).__name__
        if isinstance(member, type):
            if member.__qualname__.startswith(cls.__qualname__ + "."):
                self.cls(indent, name, member)
            return
        if name == "__init__" and kind == "wrapper_descriptor":
            return  # no constructor: pybind11 refuses to build one from a script
        if name == "__await__":
            self.emit(indent, f"def __await__(self) -> {self.awaitable_result(cls)}: ...")
            return
        if isinstance(member, staticmethod):
            self.function(indent, name, member.__func__, "static")
        elif kind == "instancemethod" or callable(member) and not isinstance(member, property):
            self.function(indent, name, member, "method")
        elif isinstance(member, property):
            self.property(indent, cls, name, member)
        elif member is not None:  # __hash__ = None is written by cls()
            # A class attribute: an enumeration's member, or a plain value.
            self.name.typing.add("ClassVar")
            self.emit(indent, f"{name}: ClassVar[{self.value_type(member)}]")

    def value_type(self, value):
        value_type = type(value)
        if value_type.__module__ == "builtins":
            return value_type.__name__
        return self.name(f"{value_type.__module__}.{value_type.__qualname__}")

    def property(self, indent, cls, name, member):
        fget_doc = member.fget.__doc__ if member.fget else ""
        result = self.name(parse_signatures(fget_doc, "")[0].result)
        doc = member.__doc__ if member.__doc__ != fget_doc else ""
        if type(member).__name__ != "property":
            # A static property: a class-wide value, or one of the class's constants.
            self.name.typing.add("ClassVar")
            self.emit(indent, f"{name}: ClassVar[{result}]")
            self.docstring(indent, doc)
            return
        self.emit(indent, "@property")
        self.emit(indent, f"def {name}(self) -> {result}:")
        if not self.docstring(indent + 1, doc):
            self.lines[-1] += " ..."
        if member.fset is not None:
            self.emit(indent, f"@{name}.setter")
            self.emit(indent, f"def {name}(self, value: {self.accepted(result)}) -> None: ...")

    def module_body(self, submodules):
        for name, member in vars(self.module).items():
            if name in SKIPPED:
                continue
            if isinstance(member, types.ModuleType):
                submodules.append(name)
            elif isinstance(member, type):
                self.cls(0, name, member)
            elif callable(member):
                self.function(0, name, member, "function")
                self.emit(0)
            else:
                self.emit(0, f"{name}: {self.value_type(member)}")

    def text(self, submodules):
        header = ['"""' + (self.module.__doc__ or self.module.__name__) + '"""',
                  "# Generated from the built module by packaging/generate_stubs.py; do not edit."]
        for module in sorted(self.name.imports):
            header.append(f"import {module}")
        if self.name.typing:
            header.append(f"from typing import {', '.join(sorted(self.name.typing))}")
        for submodule in submodules:
            header.append(f"from . import {submodule} as {submodule}")
        body = "\n".join(self.lines).rstrip("\n")
        return "\n".join(header) + "\n\n" + re.sub(r"\n{3,}", "\n\n", body) + "\n"


def write_module(module, output, classes_by_cpp_name, callable_classes):
    namer = TypeNamer(module.__name__, classes_by_cpp_name)
    writer = StubWriter(module, namer, callable_classes)
    submodules = []
    writer.module_body(submodules)
    output.parent.mkdir(parents=True, exist_ok=True)
    output.write_text(writer.text(submodules))
    for submodule in submodules:
        write_module(getattr(module, submodule), output.parent / f"{submodule}.pyi", classes_by_cpp_name,
                     callable_classes)
    for unresolved in sorted(namer.unresolved):
        print(f"generate_stubs: {module.__name__}: {unresolved} has no Python class; typed as Any", file=sys.stderr)


def wraps_a_callable(cls):
    """Whether the class's one constructor takes one callable (pybind11's `function`)."""
    constructor = vars(cls).get("__init__")
    if constructor is None or type(constructor).__name__ != "instancemethod":
        return False
    signatures = parse_signatures(constructor.__doc__, "__init__")
    return len(signatures) == 1 and [annotation for _, annotation, _ in signatures[0].parameters[1:]] == ["function"]


def python_classes(modules):
    """Every class of the modules by its own name, for C++ names in signatures."""
    classes, seen = {}, set()

    def visit(namespace, prefix):
        for name, member in vars(namespace).items():
            if isinstance(member, type) and getattr(member, "__module__", "") == prefix.split(".", 1)[0] \
                    and id(member) not in seen:
                seen.add(id(member))
                classes.setdefault(name, f"{prefix}.{name}")
                visit(member, f"{prefix}.{name}")
            elif isinstance(member, types.ModuleType) and member.__name__.startswith(prefix + "."):
                visit(member, member.__name__)

    for module in modules:
        visit(module, module.__name__)
    return classes


def resolve(qualified_name):
    module_name, _, rest = qualified_name.partition(".")
    value = sys.modules[module_name]
    for part in rest.split("."):
        value = getattr(value, part)
    return value


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("output", type=pathlib.Path, help="folder that holds the extension modules")
    parser.add_argument("modules", nargs="+", help="module names, in the order they must be imported")
    arguments = parser.parse_args()
    modules = [importlib.import_module(name) for name in arguments.modules]
    try:
        classes = python_classes(modules)
        # The bindings let any callable stand where such a class is expected.
        callable_classes = {qualified for qualified in classes.values() if wraps_a_callable(resolve(qualified))}
        for module in modules:
            package = arguments.output / module.__name__
            write_module(module, package / "__init__.pyi", classes, callable_classes)
            (package / "py.typed").write_text("")
    except StubError as error:
        raise SystemExit(f"generate_stubs: {error}") from None


if __name__ == "__main__":
    main()
