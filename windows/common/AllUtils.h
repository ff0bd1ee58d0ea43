// Helpers every module uses: a plain INFO record, and the reports of a catch block.
#pragma once

#include <exception>
#include <string>

#include "common/share/SourceLocation.h"

// Writes `message` at INFO under logit's own location.
void logit(const std::string& message);
void logit(const char* message);

// ERROR "Exception with message '<what>' caught" at the catch site.
void reportException(const SourceLocation& location, const std::exception& e);
// ERROR "Unknown exception caught" at the catch site.
void reportUnknownException(const SourceLocation& location);
