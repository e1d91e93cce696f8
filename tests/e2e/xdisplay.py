"""An Xvfb display of the suite's own, on a free display number."""
import os
import subprocess
import time


class Xvfb:
    def __init__(self, size="1024x768x24"):
        self.size = size
        self.process = None
        self.display = None

    def start(self):
        for number in range(91, 200):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            self.process = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", self.size, "-nolisten", "tcp"],
                                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                            stderr=subprocess.DEVNULL)
            for _ in range(100):
                if self.process.poll() is not None:
                    break  # taken by another server meanwhile: try the next number
                if os.path.exists("/tmp/.X11-unix/X%d" % number):
                    time.sleep(0.2)
                    if self.process.poll() is not None:
                        break
                    self.display = ":%d" % number
                    return self.display
                time.sleep(0.05)
            self.stop()
        raise RuntimeError("could not start Xvfb")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.process = None
