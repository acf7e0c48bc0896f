// The Start-menu launcher of the installed program. The program reads its settings and
// writes its friends file and logs in its working folder, and Program Files is not
// writable by a user: so every user gets a folder of his own under Application Data, with
// a copy of the sample settings made on his first start, and the program runs there.
#pragma once

#include <string>

// The current user's folder of the program, <Application Data>\lvchat; empty when the
// system names no such folder.
std::wstring launcher_user_folder();
// The folder this program was started from (no trailing backslash).
std::wstring launcher_program_folder();
// Makes `folder` (its parent must exist) and copies `sample` into it as lvchat.cfg unless a
// file of that name is already there: the user's own settings are never replaced. A
// missing sample is no error (the program starts with its defaults). 1 when `folder` is a
// folder afterwards, else 0.
int launcher_prepare(const std::wstring &folder, const std::wstring &sample);
// The arguments of a command line: what follows the program's name (quoted or not) and
// the blanks after it.
const wchar_t *launcher_arguments(const wchar_t *command_line);
// Starts `program` with `arguments` (may be empty) in the working folder `folder`, with
// the show state this process was given; 1 when it started, else 0.
int launcher_start(const std::wstring &program, const wchar_t *arguments, const std::wstring &folder);
