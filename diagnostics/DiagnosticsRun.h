#pragma once

class DiagnosticsView;

// The diagnostics run over the checked recorders: fetch both poll tables,
// classify them, write the operability report, run the hooks. FTP failures
// are results; a bad setting text or a file error throws (AppError).
void RunDiagnostics(DiagnosticsView &view);
