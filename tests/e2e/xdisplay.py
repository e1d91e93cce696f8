"""An Xvfb display of the suite's own.

Xvfb picks a free display number itself (-displayfd) and reports it, so
suites that run side by side never end up sharing, or stopping, one server.
"""
import os
import select
import subprocess


class Xvfb:
    def __init__(self, size="1024x768x24"):
        self.size = size
        self.process = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size, "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                pass_fds=(write_end,))
            os.close(write_end)
            write_end = None
            number = b""
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], 10)
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        if not number.strip().isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not report a display")
        self.display = ":" + number.strip().decode()
        return self.display

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.process = None
