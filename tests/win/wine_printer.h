// A printer for printing tests and benchmarks under Wine: Wine's PostScript
// driver with the generic PPD that winspool carries, its port LPT1: spooled
// to a file.
#pragma once

#include <string>

// The unix path of a Windows path, for Wine's spooler, which writes a port's
// output there; empty when not under Wine.
std::string WineUnixPath(const std::string &path);

// Deletes the printer `name` if there is one.
void DeleteNamedPrinter(const char *name);

// Adds (again) the printer `name`, its driver with the PPD written as
// `ppdName` into this process's driver folder (x64, or x86 for the 32-bit
// build), and LPT1: spooled to `unixOutput`. True when the printer was added.
bool AddWinePostScriptPrinter(const char *name, const char *ppdName, const std::string &unixOutput);
