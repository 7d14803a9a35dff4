#!/usr/bin/env python3
"""pyserial's RFC 2217 client against kvr7x-emu: a reader client that is
not ours.  Usage: pyserial_client.py rfc2217://HOST:PORT

Prints one line per step; the test reads them.  When it prints "waiting for
DSR off" it waits (at most 5 s) for the test to take the card out."""
import sys
import time

import serial


def hexs(data):
    return " ".join("%02X" % b for b in data)


def main():
    url = sys.argv[1]

    # Spontaneous notifications alone: the modem state came when the
    # COM-PORT option was agreed.
    with serial.serial_for_url(url, timeout=2) as port:
        print("lines DSR=%d CD=%d" % (port.dsr, port.cd), flush=True)

    port = serial.serial_for_url(url + "?poll_modem", timeout=2)
    # The port opens with RTS on; lowering it ends the reset pulse.
    port.rts = True
    time.sleep(0.01)
    port.rts = False
    head = port.read(3)
    ident = port.read(head[2]) if len(head) == 3 else b""
    print("reset %s | %s" % (hexs(head[:2]), ident[:4].decode("latin-1")), flush=True)

    port.write(bytes([0x20, 0x00, 0x10, 0x00, 0x00, 0x00]))  # status request
    print("status %s" % hexs(port.read(4)), flush=True)

    print("polled DSR=%d CD=%d" % (port.dsr, port.cd), flush=True)
    print("waiting for DSR off", flush=True)
    until = time.monotonic() + 5
    while port.dsr and time.monotonic() < until:
        time.sleep(0.02)
    print("DSR=%d" % port.dsr, flush=True)
    port.close()


main()
