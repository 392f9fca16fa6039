#pragma once
// The Office calls the print run and the close query make, for driving a main window directly.

#include "gui/uMain.h"

namespace testsupport {

// The print run's Excel step for one entry, in its one silent error scope.
inline void excelStep(gui::TfrmMain &form, const QString &path, int copies)
{
    try {
        form.LoadXls(path);
        for (int copy = 0; copy < copies; ++copy)
            form.ExcelWorkbook1.PrintOut();
        form.ExcelWorkbook1.Save();
        form.ExcelWorkbook1.Close();
    } catch (...) {
    }
}

// What the close query asks of Office after a print run.
inline void closeOffice(gui::TfrmMain &form)
{
    form.WordDocument.Disconnect();
    form.WordApplication.Disconnect();
    form.ExcelWorkbook1.Disconnect();
    form.ExcelApplication.Disconnect();
    form.WordApplication.Quit();
    form.ExcelApplication.Quit();
}

} // namespace testsupport
