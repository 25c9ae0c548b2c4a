#!/usr/bin/env python3
"""Carries the guest's monitor commands to QEMU: each line the guest writes
to its virtio port is run as a human monitor command over QMP, and the reply
goes back followed by a line holding a single dot."""
import json
import socket
import sys
import time


def connect(path):
    for _ in range(600):
        try:
            s = socket.socket(socket.AF_UNIX)
            s.connect(path)
            return s
        except OSError:
            time.sleep(0.1)
    sys.exit(f"monitor relay: cannot reach {path}")


def main(port_path, qmp_path):
    qmp = connect(qmp_path).makefile("rw")
    qmp.readline()  # the greeting
    qmp.write(json.dumps({"execute": "qmp_capabilities"}) + "\n")
    qmp.flush()
    qmp.readline()
    port = connect(port_path).makefile("rw")
    for line in port:
        qmp.write(json.dumps({"execute": "human-monitor-command",
                              "arguments": {"command-line": line.strip()}}) + "\n")
        qmp.flush()
        while True:
            answer = json.loads(qmp.readline())
            if "event" not in answer:
                break
        text = answer.get("return", answer.get("error", {}).get("desc", ""))
        port.write(text.rstrip("\n") + ("\n" if text.strip() else "") + ".\n")
        port.flush()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
