#pragma once
#include <functional>

// Runs the program body and turns the way it ended into an exit status:
// a stop flushes and closes every unit and gives the status of its kind
// (0 clean end or normal return, 2 error stop, 128 + N after signal N);
// an input or output error writes its message on the standard error
// stream, closes the other units and gives 1. Used by main and by tests
// that run the program in-process.
int runProgram(const std::function<void()>& body);
