#pragma once

#include <QByteArray>

/**
 * @file
 * Where the session's sound servers listen, found as their client libraries find them, and which
 * of the engine's sound outputs to try, in which order.
 *
 * PulseAudio listens on `$XDG_RUNTIME_DIR/pulse/native` (or where $PULSE_RUNTIME_PATH or the unix
 * entries of $PULSE_SERVER say, or system-wide at /run/pulse/native); PipeWire on
 * `$XDG_RUNTIME_DIR/pipewire-0` (or as $PIPEWIRE_RUNTIME_DIR and $PIPEWIRE_REMOTE say), and
 * usually speaks the PulseAudio protocol on the PulseAudio socket too. A server reached over the
 * network is not looked for.
 *
 * Threads and errors: every function reads the environment and the file system and nothing else,
 * keeps no state, never throws, and may be called from any thread.
 */

/**
 * The engine's sound outputs to try, in order, as its `ao` option takes them:
 * - `pipewire` first when PipeWire's socket exists: where PipeWire runs, its own output;
 * - `pulse` always: PulseAudio, or PipeWire through its PulseAudio socket, also when a server
 *   only comes later;
 * - `alsa` last when the system has an ALSA playback device.
 * No other output is probed: each missing one costs time at every open (about 100 ms for the
 * jack and sdl probes), and the PipeWire and ALSA libraries write errors to standard error when
 * their server or device is not there. With none answering the engine falls back to its null
 * output and plays silently.
 */
QByteArray soundOutputList();

/**
 * Whether a sound server accepts connections now at one of its local sockets. Costs one
 * non-blocking connect() per socket, some microseconds; waits for nothing. A socket file left
 * behind by a server that died does not answer.
 */
bool soundServerAnswers();
