// Whole-buffer reads and writes on file descriptors, in binary mode on every platform.
// Frames move straight between the descriptor and the frame buffer: no stdio buffer,
// no extra copy.
#pragma once

#include <cstddef>
#include <string>

namespace rawio {

// Standard input and output in binary mode; a closed pipe becomes a write error
// instead of a signal that ends the process.
void prepareStandardStreams();

// Opens a file for reading or for writing (created or truncated). "" and "-" mean
// standard input or output. Returns -1 and sets `error` on failure.
int openInput(const std::string& path, std::string& error);
int openOutput(const std::string& path, std::string& error);
bool closeOutput(int fd, std::string& error);   // reports a failed close of a file we opened

// Reads until `size` bytes are in or the input ends. Returns the number read; on a read
// error returns what was read before it and sets `error`.
std::size_t readFull(int fd, void* buffer, std::size_t size, std::string& error);

// Writes all `size` bytes. False, with `error` set, if any write fails.
bool writeFull(int fd, const void* buffer, std::size_t size, std::string& error);

bool isTerminal(int fd);

} // namespace rawio
