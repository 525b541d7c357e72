"""A server on the loopback interface that takes every connection and holds it open without
answering, or after a first answer of its own (a server that stalls), until it is stopped."""
import socket
import threading
import time

HOST = "127.0.0.1"


class HoldingServer:
    """answer, when given, is called with each new connection and may send something first."""

    def __init__(self, port=0, answer=None):
        self.port = port
        self._answer = answer
        self._listener = None
        self._held = []
        self._lock = threading.Lock()

    @property
    def connections(self):
        with self._lock:
            return len(self._held)

    def start(self, bind_timeout=0.0):
        """Binds 127.0.0.1:port; a port that is taken is tried again until bind_timeout
        seconds have passed."""
        deadline = time.monotonic() + bind_timeout
        while True:
            listener = socket.socket()
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                listener.bind((HOST, self.port))
                break
            except OSError as error:
                listener.close()
                if time.monotonic() >= deadline:
                    raise RuntimeError(f"cannot listen on {HOST}:{self.port}: {error}") from error
                time.sleep(0.25)
        listener.listen(16)
        self._listener = listener
        self.port = listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def _accept(self):
        while True:
            try:
                connection, _ = self._listener.accept()
            except OSError:
                return
            with self._lock:
                self._held.append(connection)
            if self._answer:
                try:
                    self._answer(connection)
                except OSError:
                    pass

    def stop(self):
        if self._listener:
            # Closing alone would leave the port bound while the accepting thread waits.
            try:
                self._listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self._listener.close()
            self._listener = None
        with self._lock:
            for connection in self._held:
                connection.close()
            self._held = []
