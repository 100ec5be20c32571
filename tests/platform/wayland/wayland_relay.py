#!/usr/bin/env python3
"""Relays Unix sockets in one process, descriptors and all (a Wayland client's shared memory
buffers pass as descriptors, which socat drops): each client of a LISTEN gets a connection of its
own to its UPSTREAM.
Usage: wayland_relay.py LISTEN UPSTREAM [LISTEN UPSTREAM]..."""
import os
import selectors
import socket
import sys

selector = selectors.DefaultSelector()
listeners = {}
for listen_path, upstream_path in zip(sys.argv[1::2], sys.argv[2::2]):
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(listen_path + ".new")
    listener.listen()
    # The socket shows at its path only once it takes connections.
    os.rename(listen_path + ".new", listen_path)
    listeners[listener] = upstream_path
    selector.register(listener, selectors.EVENT_READ)
while True:
    for key, _ in selector.select():
        if key.fileobj in listeners:
            client, _ = key.fileobj.accept()
            upstream = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            upstream.connect(listeners[key.fileobj])
            selector.register(client, selectors.EVENT_READ, upstream)
            selector.register(upstream, selectors.EVENT_READ, client)
            continue
        data, fds, _, _ = socket.recv_fds(key.fileobj, 65536, 28)
        if not data:
            for end in (key.fileobj, key.data):
                selector.unregister(end)
                end.close()
            continue
        socket.send_fds(key.data, [data], fds)
        for fd in fds:
            os.close(fd)
