"""The program's resource ids, read from resources/resource_ids.h, the one place that numbers
them. Each #define of the header becomes a name of this module (IDS_CAPTION, IDC_PROGRESS_BAR,
...); STRING_IDS lists the ids of every string of the resource library."""
import os
import re

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                      "resource_ids.h")


def read(path=HEADER):
    """Every `#define NAME NUMBER` of the header, as a dict from name to number."""
    with open(path) as header:
        return {m[1]: int(m[2], 0) for m in
                re.finditer(r"^#define\s+([A-Z][A-Z0-9_]*)\s+(\d+|0x[0-9A-Fa-f]+)\s*$",
                            header.read(), re.M)}


IDS = read()
globals().update(IDS)
STRING_IDS = sorted(value for name, value in IDS.items() if name.startswith("IDS_"))
