// The user's own Quillstow folder, %LOCALAPPDATA%\Quillstow: what the add-in
// keeps for itself that belongs neither beside its file nor in the archive.
#pragma once

#include <string>

// The folder, made when missing; empty when the session names no local
// application data folder.
std::wstring UserStateFolder();
