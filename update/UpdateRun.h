#pragma once

class UpdateView;

// The software update run over the checked recorders. FTP and HTTP failures
// become " ERROR: " log lines; a missing precondition is a message box; a bad
// setting text or a file error throws (AppError).
void RunSoftwareUpdate(UpdateView &view);
