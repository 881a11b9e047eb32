#pragma once

#include <QtGlobal>

// The operating system's process controls the decoding worker needs, behind one small interface;
// where a system lacks one, the call does nothing.
class ProcessLimits
{
public:
    // Caps the process's address space, so a decoder that asks for more fails to allocate
    // instead of exhausting the machine. 0 leaves it unlimited.
    static void limitMemory(qint64 bytes);

    // Makes standard input and output carry bytes unchanged (Windows would translate line ends).
    static void useBinaryStandardStreams();

    // Asks for a larger pipe behind standard output where the system allows it, so a large
    // picture crosses in few wake-ups. Harmless when the output is no pipe.
    static void enlargeOutputPipe();
};
