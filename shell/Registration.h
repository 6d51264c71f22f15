// Registering the property handler machine-wide, as DllRegisterServer and
// DllUnregisterServer do: the class, the handler entries for .svg and .svgz, and
// the property lists that put its facts in Explorer's details pane, Details tab
// and tooltips. A handler registered before is put back on removal, and lists
// that were there keep what they named.
#pragma once

#include <windows.h>

#include <string>

// Where the registration of an extension lives (under HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* cHandlersKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers";
inline constexpr const wchar_t* cAssociationsKey = L"SOFTWARE\\Classes\\SystemFileAssociations";
inline constexpr const wchar_t* cClassesKey = L"SOFTWARE\\Classes\\CLSID";

// Writes every entry for the DLL at AModulePath; registering again changes
// nothing more. An error leaves what was written and returns it (a following
// unregistration removes it).
HRESULT RegisterHandler(const std::wstring& AModulePath);
// Removes what RegisterHandler wrote and puts back what it replaced.
HRESULT UnregisterHandler();
