#!/usr/bin/env python3
"""Every shipped EXE and DLL carries a version resource with the project's version, the
product and company names and a description of its own.
Usage: version_resources_check.py BIN_DIR VERSION COMPANY FILE..."""
import sys


def string_value(data: bytes, key: str):
    """The value of one StringFileInfo entry (UTF-16, after the key's padding), or None."""
    marker = key.encode("utf-16-le") + b"\0\0"
    at = data.find(marker)
    if at < 0:
        return None
    start = at + len(marker)
    start += (-start) % 4  # values are aligned to 32 bits
    end = start
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    return data[start:end].decode("utf-16-le", "replace")


def main() -> int:
    bin_dir, version, company, *files = sys.argv[1:]
    failures = []
    descriptions = set()
    for name in files:
        data = open(f"{bin_dir}/{name}", "rb").read()
        if "VS_VERSION_INFO".encode("utf-16-le") not in data:
            failures.append(f"{name}: no version resource")
            continue
        values = {k: string_value(data, k) for k in
                  ("FileVersion", "ProductVersion", "CompanyName", "ProductName",
                   "FileDescription", "OriginalFilename")}
        expected = {"FileVersion": version, "ProductVersion": version, "CompanyName": company,
                    "ProductName": "Netvane", "OriginalFilename": name}
        for key, want in expected.items():
            if values[key] != want:
                failures.append(f"{name}: {key} is {values[key]!r}, expected {want!r}")
        if not values["FileDescription"] or values["FileDescription"] in descriptions:
            failures.append(f"{name}: description {values['FileDescription']!r} missing or shared")
        descriptions.add(values["FileDescription"])
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
