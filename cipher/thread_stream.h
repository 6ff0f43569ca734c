// Where each thread's cipher stream lives. The stream itself is kvacore.cpp's;
// Linux keeps it in a thread_local there, Windows in a TLS slot
// (thread_stream_win32.cpp).
#pragma once

namespace kvacore {

class Stream;

// The calling thread's stream, made on its first cipher call and freed when
// the thread ends; null when there is none yet (and `create` is false) or
// it cannot be made.
Stream* ThreadStream(bool create);

// A stream on the heap and its end, which wipes its key material: for a
// host that keeps the stream in a slot of its own.
Stream* NewStream();
void DeleteStream(Stream* stream);

}  // namespace kvacore
