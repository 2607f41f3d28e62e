#!/usr/bin/env bash
# Fails when a portable folder names a Win32 header or type. The player's
# renderer lives in its win32/ folder, outside the portable half.
set -u
root=$1
folders=()
for f in app engine lang ui player; do
    [ -d "$root/src/$f" ] && folders+=("$root/src/$f")
done
# The scheduler component's logic is portable; its COM side lives in win32/.
# So is the logic of the Explorer extension, which is tested natively.
files=()
for f in "$root"/src/scheduler/*.h "$root"/src/scheduler/*.cpp "$root"/src/shellext/extension_logic.*; do
    [ -f "$f" ] && files+=("$f")
done
pattern='#include *<(windows|winbase|windef|winuser|winreg|objbase|oleauto|ole2|shlobj|shellapi|shlwapi|winerror|wtypes|unknwn)\.h>|\b(HRESULT|DWORD|BSTR|HANDLE|HWND|HKEY|LPSTR|LPCSTR|LPWSTR|LPCWSTR|WPARAM|LPARAM|UINT|BOOL|VARIANT|wchar_t)\b'
if hits=$(grep -rnE --exclude-dir=win32 "$pattern" "${folders[@]}" "${files[@]}"); then
    echo "Win32 names in the portable core:"
    echo "$hits"
    exit 1
fi
# The engine reaches the application only through its host seam.
if [ -d "$root/src/engine" ] && hits=$(grep -rnE '#include "(app|ui)/' "$root/src/engine"); then
    echo "The engine includes the application:"
    echo "$hits"
    exit 1
fi
# The platform layer is the ground the rest stands on: it never reaches up.
if [ -d "$root/src/platform" ] && hits=$(grep -rnE '#include "(ui|player|app)/' "$root/src/platform"); then
    echo "The platform layer includes code above it:"
    echo "$hits"
    exit 1
fi
echo "portable core is free of Win32 names (${#folders[@]} folders)"
