/*
 * kvr7x.h - reader driver library for the KVR7x family of smart card readers.
 *
 * Library: libKVR7x.so, SONAME libKVR7x.so.N for major version N; the
 * version is KVR7X_VERSION in kvr7x_version.h, included below.
 * Link with `pkg-config --cflags --libs kvr7x`.
 * On Windows: KVR7x.dll, with the import library libKVR7x.dll.a / KVR7x.lib;
 * see the notes marked "Windows" below.
 *
 * Conventions
 *   - Every argument is a 32-bit value; byte arguments use only their low byte.
 *   - Calls that talk to the reader return the reader's status byte STAT
 *     (0..255) or a negative error result: the failing step's error code L
 *     with bit 31 set (L - 2147483648 as a signed value).  A transfer that
 *     merely ran out of time gives exactly 0x80000000 ("the reader did not
 *     answer").  A handle that names no open port gives 0x80000006.
 *   - Output pointers may be null and are written only on success.
 *   - Reader calls share one process-wide frame buffer and echo-mode flag:
 *     a process must run one reader call at a time, across all its ports.
 *   - After a time-out (0x80000000) the command may or may not have reached
 *     the card and been carried out, and its reply may still be on its way:
 *     the library cannot tell, so do not repeat a command that changes the
 *     card without checking.  What a caller can rely on: the next call on
 *     that port (any call that talks to the reader, QXRESET included) first
 *     drops whatever comes until the line has been quiet for 50 ms, for
 *     550 ms at most, and only then sends, so a reply that comes within
 *     that time is never taken for the next command's reply.  That call
 *     takes 50 ms longer on a quiet line (100 ms when a late reply comes);
 *     calls after one that succeeded pay nothing.  What it cannot rely on: a reader still working
 * on the old command after that (a reply later than the drain, or a line that never goes quiet) can
 * still answer into a later call; QXRESET puts such a reader back in step.  Bytes that arrive
 * between calls are dropped by the next call.
 *
 * Port names accepted by QXOPEN
 *   "COM1".."COM9"      looked up in the per-user device map
 *                       $XDG_CONFIG_HOME/kvr7x/ports (default
 *                       ~/.config/kvr7x/ports), one "COMn=target" per line,
 *                       for example  COM1=/dev/ttyUSB0
 *                                    COM2=rfc2217://127.0.0.1:7201
 *                       A COMn missing from the map means /dev/ttyS<n-1>.
 *                       The map is read only when it is a regular file of
 *                       at most 64 KiB (a UTF-8 byte-order mark is
 *                       skipped); anything else there counts as no map.
 *   "/dev/..."          a serial device path.
 *   "rfc2217://HOST:PORT"  a network serial port (telnet COM-PORT option,
 *                       RFC 2217), as served by ser2net, terminal servers
 *                       and the reader emulator kvr7x-emu.
 * Windows: "COM1".."COM9" are looked up in %APPDATA%\kvr7x\ports (the same
 * format; a target may also be another COM name); a COM name missing from
 * the map, "\\.\COMnn" and any other name are opened as they are
 * (CreateFileA); "rfc2217://HOST:PORT" as above.
 */
#ifndef KVR7X_H
#define KVR7X_H

#include <stdint.h>

#include "kvr7x_version.h"

/*
 * Calling convention and linkage.  On Windows (MinGW and Microsoft
 * compilers alike) the calls are __stdcall, the callee removing its
 * arguments, and they come from KVR7x.dll through __declspec(dllimport)
 * unless KVR7X_NO_DLLIMPORT is defined before this file is included: by
 * the library itself, and by programs that link its objects or bind the
 * calls with GetProcAddress.
 */
#if defined(_WIN32) || defined(_MSC_VER)
#define KVR7X_CALL __stdcall
#if defined(KVR7X_NO_DLLIMPORT)
#define KVR7X_API
#else
#define KVR7X_API __declspec(dllimport)
#endif
#else
#if defined(__i386__) && defined(__GNUC__)
#define KVR7X_CALL __attribute__((stdcall))
#else
#define KVR7X_CALL
#endif
#if defined(__GNUC__)
#define KVR7X_API __attribute__((visibility("default")))
#else
#define KVR7X_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Error catalogue.  A failed call returns KVR7X_ERROR(code): the code of the
 * step that failed with bit 31 set.  These are all the codes the library
 * uses, each with one meaning.  The codes only an open can meet (4, 5, 53,
 * 121, 161) are reasons why QXOPEN failed; QXOPEN itself returns -1.
 */
#define KVR7X_ERROR(code) ((int32_t)(0x80000000u | (uint32_t)(code)))

/* A transfer ran out of time without a failure of the line: the reader did
 * not answer (or not whole), or a write could not leave in time. */
#define KVR7X_ERR_TIMEOUT 0u
/* The device does not exist (or vanished), or the name is no port name. */
#define KVR7X_ERR_FILE_NOT_FOUND 2u
/* QXOPEN: all 64 handles of the process are in use. */
#define KVR7X_ERR_TOO_MANY_PORTS 4u
/* QXOPEN: the port is already open (in this or another process) or the
 * user may not use the device. */
#define KVR7X_ERR_ACCESS_DENIED 5u
/* The library could not get the memory or the thread the call needs (or
 * met a fault of its own); the call was given up where it was.  QXOPEN
 * then returns -1. */
#define KVR7X_ERR_NOT_ENOUGH_MEMORY 8u
/* The handle names no open port (never opened, or closed). */
#define KVR7X_ERR_INVALID_HANDLE 6u
/* Network port: a write was cut off in the middle of a telnet command or
 * of an escaped 0xFF byte; the stream is garbled for good and every later
 * call on the port fails with this code until QXRESET connects again or it
 * is closed. */
#define KVR7X_ERR_WRITE_CUT_OFF 29u
/* The line failed: device error, hang-up, or a system call that failed for
 * another reason. */
#define KVR7X_ERR_LINE_FAILURE 31u
/* Network port: the host is unknown or nobody listens at HOST:PORT. */
#define KVR7X_ERR_NO_SERVER 53u
/* Network port: the server closed the connection; every later call but
 * QXRESET (which connects again) and QXCLOSE fails with this code. */
#define KVR7X_ERR_CONNECTION_CLOSED 64u
/* An argument was refused before anything was sent: a null data buffer
 * where a data block is due, a unit above 3, or a line setting the device
 * cannot take. */
#define KVR7X_ERR_INVALID_PARAMETER 87u
/* Network port: the connection attempt timed out (3 seconds). */
#define KVR7X_ERR_CONNECT_TIMEOUT 121u
/* Network port: the name is not of the form rfc2217://HOST:PORT with a
 * port from 1 to 65535. */
#define KVR7X_ERR_BAD_ADDRESS 161u
/* The port was closed by another thread while the call waited on it. */
#define KVR7X_ERR_ABORTED 995u

/* The error results callers test most often. */
#define KVR7X_NO_ANSWER KVR7X_ERROR(KVR7X_ERR_TIMEOUT)         /* 0x80000000 */
#define KVR7X_BAD_HANDLE KVR7X_ERROR(KVR7X_ERR_INVALID_HANDLE) /* 0x80000006 */
#define KVR7X_NO_DATA KVR7X_ERROR(KVR7X_ERR_INVALID_PARAMETER) /* 0x80000057 */

/* Modem-status bits returned by QXIFDSTATUS. */
#define KVR7X_MS_CTS 0x10
#define KVR7X_MS_DSR 0x20 /* card present in unit 0 */
#define KVR7X_MS_RING 0x40
#define KVR7X_MS_RLSD 0x80 /* carrier detect: reader powered */

/*
 * Card-detect notification target.  Without window messages (POSIX) the
 * "window" of QXNOTIFY is a callback: it receives the message number given
 * to QXNOTIFY and 1 when a card is present (DSR on), 0 when not.  It is
 * called on the library's notification thread and must not block: hand the
 * event to your own thread or event loop and return.  On Windows the
 * target is a window (HWND), to which the message is posted.
 */
typedef void(KVR7X_CALL *KVR7xNotifyProc)(uint32_t message, uint32_t cardPresent);
#if defined(_WIN32) || defined(_MSC_VER)
struct HWND__;
typedef struct HWND__ *KVR7xNotifyTarget; /* HWND */
#else
typedef KVR7xNotifyProc KVR7xNotifyTarget;
#endif

/* 1: library initialisation entry; returns 1, does nothing else. */
KVR7X_API int32_t KVR7X_CALL LibMain(uintptr_t instance, uint32_t reason, uint32_t reserved1,
                                     uint32_t reserved2);

/* 2: one command transaction.  data: when bit 7 of code is set, the p3 data
 * bytes to send (256 when p3 is 0; null is refused with 0x80000057 before
 * anything is sent); always receives the LEN reply bytes (give 255 bytes of
 * room), null to drop them.  timeout: reply-phase read time-out constant in
 * milliseconds. */
KVR7X_API int32_t KVR7X_CALL QXSENDCOMMAND(int32_t port, uint32_t code, uint32_t cla, uint32_t ins,
                                           uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                           uint8_t *sw1, uint8_t *sw2, int32_t *len,
                                           uint32_t timeout);

/* 3..9: reader and card operations; unit 0 is the card, 1..3 SAM slots.
 * QXISOIN and QXISOOUT refuse a unit above 3 with 0x80000057 before anything
 * is sent (the unit is added to CODE). */
KVR7X_API int32_t KVR7X_CALL QXICCSTATUS(int32_t port, uint32_t unit);
KVR7X_API int32_t KVR7X_CALL QXINSERT(int32_t port, uint32_t unit, uint32_t timeout);
KVR7X_API int32_t KVR7X_CALL QXREMOVE(int32_t port, uint32_t unit, uint32_t timeout);
KVR7X_API int32_t KVR7X_CALL QXISOIN(int32_t port, uint32_t unit, uint32_t cla, uint32_t ins,
                                     uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                     uint8_t *sw1, uint8_t *sw2, uint32_t timeout);
KVR7X_API int32_t KVR7X_CALL QXISOOUT(int32_t port, uint32_t unit, uint32_t cla, uint32_t ins,
                                      uint32_t p1, uint32_t p2, uint32_t p3, uint8_t *data,
                                      uint8_t *sw1, uint8_t *sw2, uint32_t timeout);
KVR7X_API int32_t KVR7X_CALL QXPOWERON(int32_t port, uint32_t unit, uint32_t cardType, int32_t *len,
                                       uint8_t *data, uint8_t *sw1, uint8_t *sw2);
KVR7X_API int32_t KVR7X_CALL QXPOWEROFF(int32_t port, uint32_t unit);

/* 10: pulse RTS and read the reader's identification answer (data: room for
 * 255 bytes).  Returns 0 on success.  Switches echo mode from the answer.
 * Noise before the answer is dropped; a line that chatters on for more than
 * 1024 bytes without an answer counts as a silent reader (0x80000000).
 * On a network port whose connection is lost (64, or 29) it first connects
 * again to the same server under the same handle; while that fails it
 * returns the connection's error (53, 121) and the port stays lost. */
KVR7X_API int32_t KVR7X_CALL QXRESET(int32_t port, int32_t *len, uint8_t *data);

/* 11: the port's modem-status bits (KVR7X_MS_*), 0 when unreadable. */
KVR7X_API int32_t KVR7X_CALL QXIFDSTATUS(int32_t port);

/* 12, 13: placeholders, return 0. */
KVR7X_API int32_t KVR7X_CALL QXSETPARAM(uint32_t a, uint32_t b, uint32_t c);
KVR7X_API int32_t KVR7X_CALL QXGETPARAM(uint32_t a, uint32_t b);

/* 14: 1 when unit is 0 and DSR is on, else 0.  15: 1 when carrier is on. */
KVR7X_API int32_t KVR7X_CALL QXCARDINSERTED(int32_t port, uint32_t unit);
KVR7X_API int32_t KVR7X_CALL QXREADERPOWERED(int32_t port);

/* 16: open and configure a port (9600 8N1, DTR on, RTS low), probe the
 * reader with a reset.  Returns a port handle >= 0, or -1.  A port is open
 * once per system: a second QXOPEN of the same device fails, whatever name
 * it is given (a network port is known by the addresses its name resolves
 * to).  A failed QXOPEN leaves the line settings as it found them. */
KVR7X_API int32_t KVR7X_CALL QXOPEN(const char *portName);

/* 17: close a port.  Nonzero on success, 0 on failure (also for a handle that
 * is not open). */
KVR7X_API int32_t KVR7X_CALL QXCLOSE(int32_t port);

/* 18: with a non-null proc, start a thread that calls proc(message, 0/1) on
 * every change of the card-present line; returns a nonzero thread handle,
 * or 0 when watching cannot start.  The handle is the thread's pthread_t
 * and belongs to the caller: pass it once to pthread_join (the thread's
 * result is 1 after a stop, 0 after a failure) or to pthread_detach.
 * With a null proc, ask a running thread to stop (it ends after the next
 * line change, or when the port closes) and return 0.  One notification
 * record serves the whole process: run one notification thread at a time.
 * The thread reports how it ends on standard error as "caption: text".
 * Windows: the target is a window; the thread posts (PostMessageA) the
 * message with wParam 1 when a card is present, 0 when not, lParam 0; the
 * result is the thread's HANDLE (close it with CloseHandle; its exit code
 * is 1 after a stop, 0 after a failure), and the thread reports how it
 * ends in a message box. */
#if defined(_WIN32) || defined(_MSC_VER)
KVR7X_API uintptr_t KVR7X_CALL QXNOTIFY(int32_t port, KVR7xNotifyTarget window, uint32_t message);
#else
KVR7X_API uintptr_t KVR7X_CALL QXNOTIFY(int32_t port, KVR7xNotifyProc proc, uint32_t message);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KVR7X_H */
