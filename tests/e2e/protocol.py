"""The protocol's values as protocol/quillbrook_protocol.h defines them, for the tests:
QB_INTERFACE_VERSION, the command codes, flags and answers, the window classes and the report texts."""
import os
import re

HEADER = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(
    __file__)))), "protocol", "quillbrook_protocol.h")


def _read(path):
    values = {}
    with open(path) as header:
        for match in re.finditer(r'^#define (QB_\w+) (L"([^"]*)"|\(?(-?(?:0x[0-9a-fA-F]+|\d+))\)?)', header.read(), re.M):
            values[match.group(1)] = (match.group(3) if match.group(3) is not None
                                      else int(match.group(4), 0))
    return values


globals().update(_read(HEADER))
