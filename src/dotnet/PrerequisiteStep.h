// The start-up sequence's .NET Framework step.
#pragma once

// Makes sure the .NET Framework 4.0 is present before the product package
// is launched. When it is missing the user is asked (Yes/No, captioned with
// the application name); on Yes the framework installer is written out and
// run. True: go on to the package launch; false: end the sequence, because
// the user answered No or cancelled the framework installer. A failure of
// the program's exception family is shown once in the error report and the
// sequence goes on. Other exceptions (memory exhaustion) pass.
bool RunPrerequisiteStep();
