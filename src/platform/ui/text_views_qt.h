// The Qt side of the text views, for the user-interface layer and Qt-aware tests only.
#pragma once

#include "platform/ui/text_views.h"

class QTextEdit;

// Makes the nib's control a text view shown by that QTextEdit (which its nib lays out): kind 'hitx', a new
// read-only text object that starts with the widget's plain text.
OSStatus PL_AttachTextViewWidget(ControlRef control, QTextEdit *edit);
// The widget showing the view's text object (borrowed); NULL when none.
QTextEdit *PL_GetTextViewWidget(HIViewRef textView);
