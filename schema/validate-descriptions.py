#!/usr/bin/env python3
"""Validates device description files against velmor-description.schema.json.

Each file is read twice: once with YAML's own types, as an editor's language server
reads it (0x10 is a number, true a boolean), and once with every scalar kept as its
text, as the device model reads it. A file is valid only when every document of it
satisfies the schema in both readings.

Prints "FILE: valid", or "FILE: invalid" followed by the reasons, each indented. Exits
with 0 when every file is valid, 1 when one is not, 2 when the validator cannot run.
"""

import argparse
import json
import os
import sys

try:
    import jsonschema
    import yaml
except ImportError as missing:
    print(f"validate-descriptions: {missing}: install python3-jsonschema and python3-yaml (scripts/deps.sh does)",
          file=sys.stderr)
    sys.exit(2)

# The device model refuses larger files before parsing them.
MAX_FILE_BYTES = 8 * 1024 * 1024
DEFAULT_SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "velmor-description.schema.json")


# libyaml's parser when the module has it: ten times faster on large files.
SafeLoader = getattr(yaml, "CSafeLoader", yaml.SafeLoader)
BaseLoader = getattr(yaml, "CBaseLoader", yaml.BaseLoader)


class TypedLoader(SafeLoader):
    """YAML's own types, except dates: JSON, and so the schema, has none, and an
    editor's YAML 1.2 reader keeps them as texts."""


TypedLoader.yaml_implicit_resolvers = {
    first: [(tag, regexp) for tag, regexp in resolvers if tag != "tag:yaml.org,2002:timestamp"]
    for first, resolvers in SafeLoader.yaml_implicit_resolvers.items()
}

READINGS = (("typed", TypedLoader), ("text", BaseLoader))


def scalar(value):
    if value is None or isinstance(value, (str, bool, int, float)):
        return value
    return str(value)


def stand_in(value):
    """A container the schema never looks into, replaced by one of the same kind."""
    if isinstance(value, dict):
        return {"...": "..."}
    if isinstance(value, list):
        return ["..."]
    return scalar(value)


def keyed(mapping, inner):
    return {key if isinstance(key, str) else str(key): inner(value) for key, value in mapping.items()}


def variable(entry):
    return keyed(entry, stand_in) if isinstance(entry, dict) else stand_in(entry)


def bounded(document):
    """The parts of a document the schema looks at: the top level, the variable
    entries and their attributes. Deeper containers become stand-ins, so that aliases
    never expand (an alias bomb stays small) and messages stay short."""
    if not isinstance(document, dict):
        return stand_in(document)

    def top_level(item):
        key, value = item
        if key == "variables" and isinstance(value, list):
            return [variable(entry) for entry in value]
        return stand_in(value)

    return {key: top_level((key, value)) for key, value in keyed(document, lambda v: v).items()}


def read_text(path):
    with open(path, "rb") as file:
        data = file.read(MAX_FILE_BYTES + 1)
    if len(data) > MAX_FILE_BYTES:
        raise ValueError("larger than 8 MiB")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise ValueError(f"not UTF-8 text: {error}") from None


def where(error):
    return "/".join(str(part) for part in error.absolute_path) or "(top level)"


def reason(error):
    """The validator's message, with what the value should have been where its own
    message says only that no choice fitted."""
    hint = error.schema.get("description") if error.validator == "anyOf" else None
    return f"{where(error)}: {error.message}" + (f" ({hint})" if hint else "")


def reasons_of_reading(validator, text, loader):
    try:
        documents = [bounded(document) for document in yaml.load_all(text, Loader=loader)]
    except yaml.YAMLError as error:
        return [f"YAML: {error}".replace("\n", " ")]
    except RecursionError:
        return ["YAML: nested too deeply"]
    found = []
    for number, document in enumerate(documents):
        prefix = f"document {number + 1}: " if len(documents) > 1 else ""
        errors = sorted(validator.iter_errors(document), key=lambda e: list(map(str, e.absolute_path)))
        found += [prefix + reason(error) for error in errors]
    return found


def problems(validator, text):
    """Reasons found in both readings once, the others marked with their reading."""
    readings = {name: reasons_of_reading(validator, text, loader) for name, loader in READINGS}
    found = []
    for name, reasons in readings.items():
        for text_of_reason in reasons:
            shared = all(text_of_reason in other for other in readings.values())
            line = text_of_reason if shared else f"{text_of_reason} ({name} reading)"
            if line not in found:
                found.append(line)
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--schema", default=DEFAULT_SCHEMA, help="the schema file (default: %(default)s)")
    parser.add_argument("files", nargs="+", metavar="FILE")
    arguments = parser.parse_args()

    try:
        with open(arguments.schema, encoding="utf-8") as file:
            schema = json.load(file)
        jsonschema.Draft202012Validator.check_schema(schema)
    except (OSError, ValueError, jsonschema.SchemaError) as error:
        print(f"validate-descriptions: unusable schema {arguments.schema}: {error}", file=sys.stderr)
        return 2
    validator = jsonschema.Draft202012Validator(schema)

    all_valid = True
    for path in arguments.files:
        try:
            found = problems(validator, read_text(path))
        except (OSError, ValueError) as error:
            found = [str(error)]
        all_valid = all_valid and not found
        print(f"{path}: {'invalid' if found else 'valid'}")
        for reason in found:
            print(f"    {reason}")
    return 0 if all_valid else 1


if __name__ == "__main__":
    sys.exit(main())
