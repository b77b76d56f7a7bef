#pragma once

// Call before formatting a date or time on a thread other than the GUI thread.
// Qt 5.15 builds its Gregorian calendar the first time any thread formats a date, without a
// lock, and makes it visible before its constructor has finished: a second thread formatting
// a date at that moment calls a pure virtual function and the program aborts. Here it is
// built once under a function-local static, so every other caller waits until it is whole.
void prepareDateFormatting();
