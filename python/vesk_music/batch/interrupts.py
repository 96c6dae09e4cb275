"""Who takes Ctrl-C while a part of the batch runs."""

import contextlib
import signal
import threading


@contextlib.contextmanager
def ctrl_c_taken_by(handler):
    """SIGINT goes to `handler` (a function or signal.SIG_IGN) inside the block
    and to the previous handler after it. Python sets handlers on the main
    thread only: elsewhere the block runs with the process's handler."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    previous = signal.signal(signal.SIGINT, handler)
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
