#pragma once

// The application-ending mark: set when the main window is closed while a run
// is under way. Every FTP wait then fails at once; the run goes on to its end.
bool applicationEnding();
void setApplicationEnding(bool ending);
