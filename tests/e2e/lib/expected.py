"""What the bootstrapper is expected to produce: names, texts, encodings.

These are the program's external interface, written down once for all
scenarios; a scenario compares what Wine shows with them.
"""
import base64

PACKAGE_NAME = "BrannexLumentaSetup.msi"
INSTALLER_NAME = "dotNetFx40_Full_setup.exe"
INSTALLER_PARAMETERS = '/c:"install"'

SOURCE_KEY = "Software\\Brannex\\Freeware - Lumenta"
SOURCE_VALUE = "SourceInfo"
MAKER_KEY = "Software\\Brannex"

NDP_KEY = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full"
NDP_ROOT = "Software\\Microsoft\\NET Framework Setup\\NDP\\v4"

# The sample product (payloads/Lumenta.wxs).
PRODUCT_CODE = "{B2BB9449-B9D1-46DE-A403-74C56747F16F}"
PRODUCT_KEY = "Software\\Brannex\\Lumenta"
PRODUCT_VALUE = "InstalledVersion"  # the build's version (LUMENTA_VERSION)
PRODUCT_FILE = "Brannex\\Lumenta\\Lumenta.txt"  # below the user's AppData\Local

QUESTION_TEXT = ("Microsoft .NET Framework 4.0 is not installed on this computer. "
                 "The installer will download and install the framework now.\n\n"
                 "Do you want to proceed?")
QUESTION_BUTTONS = ["&Yes", "&No"]
ERROR_CAPTION = "Error"
ERROR_BUTTONS = ["OK"]

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4


def write_failed(path):
    return f"Failed to write to file '{path}'"


LAUNCH_FAILED = "Failed to execute .NET Framework installer."
UNKNOWN_EXIT = "Unknown error occurred and the installation of Dotnetfx.exe cannot proceed."

# Exit codes of the framework installer that the bootstrapper reports with a
# text of its own.
EXIT_TEXTS = {
    4096: "Either the syntax used to specify parameters to Dotnetfx.exe is incorrect, "
          "or the parameters are invalid.",
    4097: "You do not have the permissions required to install or uninstall this "
          "application. Please contact your administrator.",
    4098: "The Windows Installer installation failed. As a result, the installation of "
          "Dotnetfx.exe cannot proceed.",
    4099: "Due to the improper installation of Windows Installer, the installation of "
          "Dotnetfx.exe cannot proceed.",
    4100: "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.",
    4101: "If another instance of setup is running, it will be allowed to continue and the "
          "current installation cannot proceed.",
    4104: "You attempted to install a version of Dotnetfx.exe that is already installed. "
          "Installation cannot proceed.",
    4105: "You attempted to uninstall a version of Dotnetfx.exe that is not installed on the "
          "computer. Uninstallation cannot proceed.",
    4108: "Cannot read from MSI Database.",
    4111: "Cannot get Temp directory.",
    4113: "A beta version of the .NET Framework was detected on the computer. You must "
          "uninstall any beta versions before attempting to install Dotnetfx.exe.",
    4114: "Cannot get System directory.",
    8191: "A fatal error occurred and the installation of Dotnetfx.exe cannot proceed.",
    8192: "A computer reboot is required following the installation of Windows Installer.",
}

_WHITESPACE = " \t\n\v\f\r"


def common_error_text(system_message, code, context):
    """The report of an error that carries a Windows code: the system's text
    for the code (trimmed), the code in hexadecimal, then the context; the
    short form when the system has no text for the code."""
    message = system_message.strip(_WHITESPACE)
    hexcode = "0" if code == 0 else f"{code:#x}"
    if not message:
        text = f"({hexcode}) {context}"
    else:
        text = f"{message} ({hexcode})\n\n{context}"
    return text.strip(_WHITESPACE)


def mime_base64(data):
    """Base64 in lines of 76 characters joined by CR LF; a nonzero multiple
    of 57 bytes ends with CR LF as well (its last, empty line keeps its
    break)."""
    flat = base64.b64encode(data).decode("ascii")
    lines = [flat[i:i + 76] for i in range(0, len(flat), 76)]
    text = "\r\n".join(lines)
    if data and len(data) % 57 == 0:
        text += "\r\n"
    return text


def source_note_value(note_bytes):
    """The registry data (text and its NUL) recorded for a note resource;
    None when nothing is recorded (fewer than two bytes)."""
    usable = note_bytes[: len(note_bytes) // 2 * 2]
    if not usable:
        return None
    return mime_base64(usable).encode("ascii") + b"\0"
