// The product's answerer: every question and message of the program becomes a
// message box titled "Quillpad" (see foundation/ask_user.h).
#pragma once

void InstallMessageBoxAnswerer();
