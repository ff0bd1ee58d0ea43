// The start-menu shortcuts of the runtime and the development kit, in the all-users
// programs menu:
//
//   Zuna\                       five runtime shortcuts (web site, help, control panel,
//                               its update and about tabs), icon bin\zuna.exe
//   Zuna Development Kit\        online documentation and Flight Deck (bin\zmc.exe)
//
// Names and descriptions are the program's string resources (IDS_SC_*), so they follow
// the user-interface language; they are loaded and used in UTF-16, so a language whose
// script the ANSI code page lacks (Japanese on a Western system) keeps its names. Nothing here throws: failures are log lines and a 0
// result. A missing string stops the operation (the shortcuts made so far stay); a
// shortcut that cannot be made or deleted is logged and the work goes on.
#pragma once

#include <windows.h>

// The web addresses the shortcuts open.
inline constexpr const char* kZunaHomePageUrl = "https://www.zuna.example/";
inline constexpr const char* kZunaHelpPageUrl = "https://www.zuna.example/help/";
inline constexpr const char* kZunaApiDocsUrl = "https://docs.zuna.example/api/";

// The folders under the programs menu.
inline constexpr const char* kZunaStartMenuFolder = "Zuna";
inline constexpr const char* kZdkStartMenuFolder = "Zuna Development Kit";

// Size in characters of the buffers strings, homes and names are read into.
inline constexpr int kShortcutTextSize = 2048;

// Makes the shortcuts for the latest runtime and the latest kit over both registry
// views, creating their folders as needed and overwriting shortcuts of the same name.
// 0 when neither is installed, the programs menu cannot be found or a string is
// missing; else 1 (a shortcut that could not be made is only logged).
int AddZunaOnStartMenu();

// Product 0 (runtime) or 1 (kit): rebuilds all shortcuts when a runtime (or kit) of
// "1.7.0_40" or later by name remains, else deletes that product's shortcuts and its
// folder. 0 when the programs menu cannot be found or for an unknown product.
int RemoveZunaFromStartMenu(int product);

// Rebuilds everything when the latest version under `mainKey` names "1.7.0_40" or
// later; otherwise deletes the `count` shortcuts named by the string ids in `nameIds`
// from `folder` and removes the folder. 0 when a string is missing or the folder
// cannot be removed (for instance because it holds other files), else 1.
int RemoveZunaOrZDKFiles(const UINT* nameIds, const char* mainKey, const char* folder, int count);

// Saves "<folder>\<name>.lnk" pointing at `target` with `arguments` (null: none),
// the icon at index 0 of `iconPath` and `description`. 1 when the file was saved.
// Paths and arguments are ANSI code-page text; name and description UTF-16.
int CreateShortCutItem(const char* folder, const WCHAR* name, const char* iconPath, const char* target,
                       const char* arguments, const WCHAR* description);

// Loads the two strings into buffers of kShortcutTextSize characters. 1 when both
// were found; else the failure is logged at ERROR and 0 is given.
int LoadStringForShortCutItems(UINT nameId, UINT descriptionId, WCHAR* name, WCHAR* description);
