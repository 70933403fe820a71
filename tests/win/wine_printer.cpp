#include "tests/win/wine_printer.h"

#include <windows.h>
#include <winspool.h>

#include "tests/support/test_files.h"

namespace {

const char kDriver[] = "Wine PostScript Driver";

}  // namespace

std::string WineUnixPath(const std::string &path) {
  using ToUnix = char *(CDECL *)(LPCWSTR);
  auto toUnix = reinterpret_cast<ToUnix>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return "";
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return "";
  char *unix = toUnix(wide);
  std::string out = unix ? unix : "";
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

void DeleteNamedPrinter(const char *name) {
  HANDLE h;
  PRINTER_DEFAULTSA access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterA(const_cast<char *>(name), &h, &access)) {
    DeletePrinter(h);
    ClosePrinter(h);
  }
}

bool AddWinePostScriptPrinter(const char *name, const char *ppdName, const std::string &unixOutput) {
  DeleteNamedPrinter(name);
  HMODULE spool = LoadLibraryA("winspool.drv");
  HRSRC res = spool ? FindResourceA(spool, MAKEINTRESOURCEA(1), "PPDFILE") : nullptr;
  char folder[MAX_PATH];
  DWORD size = 0;
  if (!res || !GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE *>(folder), sizeof folder, &size))
    return false;
  const std::string ppd = std::string(folder) + "\\" + ppdName;
  const char *bytes = static_cast<const char *>(LockResource(LoadResource(spool, res)));
  if (!bytes || !WriteBytes(ppd, std::string(bytes, SizeofResource(spool, res)))) return false;
  DRIVER_INFO_3A driver = {};
  driver.cVersion = 3;
  driver.pName = const_cast<char *>(kDriver);
  driver.pEnvironment = nullptr;  // this process's
  driver.pDriverPath = const_cast<char *>("wineps.drv");
  driver.pDataFile = const_cast<char *>(ppd.c_str());
  driver.pConfigFile = const_cast<char *>("wineps.drv");
  AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE *>(&driver));  // may exist already
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine\\Printing\\Spooler", &key) != ERROR_SUCCESS) return false;
  RegSetValueExA(key, "LPT1:", 0, REG_SZ, reinterpret_cast<const BYTE *>(unixOutput.c_str()),
                 static_cast<DWORD>(unixOutput.size() + 1));
  RegCloseKey(key);
  PRINTER_INFO_2A info = {};
  info.pPrinterName = const_cast<char *>(name);
  info.pPortName = const_cast<char *>("LPT1:");
  info.pDriverName = const_cast<char *>(kDriver);
  info.pPrintProcessor = const_cast<char *>("winprint");
  info.pDatatype = const_cast<char *>("RAW");
  HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE *>(&info));
  if (!h) return false;
  ClosePrinter(h);
  return true;
}
