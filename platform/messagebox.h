#pragma once

#include <QString>

class QWidget;

// Answers of the question boxes, with the values the program's logic compares against.
enum MsgBoxResult { vbCancel = 2, vbYes = 6, vbNo = 7 };

// The title every message of the program carries.
QString applicationTitle();

// Yes/No question with the question icon; returns vbYes or vbNo.
int askYesNo(QWidget *parent, const QString &prompt);
// Yes/No/Cancel question with the question icon; returns vbYes, vbNo or vbCancel.
int askYesNoCancel(QWidget *parent, const QString &prompt);
// A failure report with the warning icon.
void showWarning(QWidget *parent, const QString &message);
