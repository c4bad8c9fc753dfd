#pragma once

// The records of a BIFF workbook stream, from Excel 2.x to Excel 97-2003:
// their numbers, the kinds of sheet a BOF record begins, and which records
// hold cells.

#include "Internal.h"

namespace plivan {

// A workbook stream is a sequence of records: a 16-bit type, a 16-bit body
// length, the body. These are the types the readers read.
enum RecordType : quint16 {
    RecFormula = 0x0006,
    RecEof = 0x000A,
    RecDateMode = 0x0022,
    RecFilePass = 0x002F,
    RecContinue = 0x003C,
    RecWindow1 = 0x003D,
    RecCodePage = 0x0042,
    RecBoundSheet = 0x0085,
    RecMulRk = 0x00BD,
    RecMulBlank = 0x00BE,
    RecRString = 0x00D6,
    RecXf = 0x00E0,
    RecSst = 0x00FC,
    RecLabelSst = 0x00FD,
    RecBlank = 0x0201,
    RecNumber = 0x0203,
    RecLabel = 0x0204,
    RecBoolErr = 0x0205,
    RecString = 0x0207,
    RecArray = 0x0221,
    RecTable = 0x0236,
    RecWindow2 = 0x023E,
    RecRk = 0x027E,
    RecFormat = 0x041E,
    RecShrFmla = 0x04BC,
    RecBof = 0x0809,
};

// Substream kinds named by a BOF record.
constexpr quint16 BofGlobals = 0x0005;
constexpr quint16 BofWorksheet = 0x0010;

// Records of Excel 2.x to 4.0, and others read only here. Excel 2.x numbers
// its cell records apart from later versions; RecordKind() gives each record the
// number of its BIFF5/BIFF8 kin where the layout after the cell's place is
// the same.
enum OlderRecordType : quint16 {
    RecBlank2 = 0x0001,
    RecInteger2 = 0x0002, // a whole number 0-65535; Excel 2.x only
    RecNumber2 = 0x0003,
    RecLabel2 = 0x0004,
    RecBoolErr2 = 0x0005,
    RecString2 = 0x0007,
    RecBof2 = 0x0009,
    RecIndex2 = 0x000B,
    RecFormat2 = 0x001E, // Excel 2.x and 3.0: a code alone
    RecArray2 = 0x0021,
    RecTable2 = 0x0036,
    RecXf2 = 0x0043,
    RecWsBool = 0x0081,
    RecSheetsOffset = 0x008E, // Excel 4.0 workbook: where the first sheet's header is
    RecSheetHeader = 0x008F, // Excel 4.0 workbook: before each sheet, the sheet's length
    RecFormula3 = 0x0206,
    RecBof3 = 0x0209,
    RecIndex = 0x020B,
    RecXf3 = 0x0243,
    RecFormula4 = 0x0406,
    RecBof4 = 0x0409,
    RecXf4 = 0x0443,
};

// What RecordKind() gives a record that is no kind read here.
constexpr quint16 NoKind = 0xFFFF;

constexpr quint16 BofModule = 0x0006;
constexpr quint16 BofChart = 0x0020;
constexpr quint16 BofMacroSheet = 0x0040;
constexpr quint16 BofWorkbook4 = 0x0100; // the globals of an Excel 4.0 workbook

// The sheet-kind byte of a sheet list entry.
constexpr quint8 SheetMacro = 1;
constexpr quint8 SheetChart = 2;
constexpr quint8 SheetModule = 6;

// WSBOOL: the sheet is a dialog sheet.
constexpr quint8 WsBoolDialog = 0x10;
// WINDOW2: the sheet is the one showing in the workbook's window.
constexpr quint16 Window2Shown = 0x0400;

// Kinds of record (as RecordKind() gives them) that hold the value of one or more cells.
inline bool IsCell(quint16 kind)
{
    switch (kind) {
    case RecFormula:
    case RecRk:
    case RecNumber:
    case RecInteger2:
    case RecLabel:
    case RecLabelSst:
    case RecRString:
    case RecBoolErr:
    case RecBlank:
    case RecMulRk:
    case RecMulBlank:
        return true;
    default:
        return false;
    }
}

// The record's number, or that of its BIFF5/BIFF8 kin, in a workbook of
// BIFF version `biff` (2, 3 or 4 for Excel 2.x to 4.0, 5, or 8).
inline quint16 RecordKind(quint16 type, int biff)
{
    // Most records keep their number: all but the BOF and FORMULA records of
    // Excel 2.x-4.0 (low bytes 0x09 and 0x06) and Excel 2.x's own.
    const quint8 low = type & 0xFF;
    if (biff > 2 && low != 0x09 && low != 0x06 && type != RecInteger2)
        return type;
    switch (type) {
    case RecBof2:
    case RecBof3:
    case RecBof4:
        return RecBof;
    case RecFormula3:
    case RecFormula4:
        return RecFormula;
    default:
        break;
    }
    if (biff > 2) // INTEGER is Excel 2.x's alone
        return type == RecInteger2 ? NoKind : type;
    switch (type) {
    case RecBlank2:
        return RecBlank;
    case RecNumber2:
        return RecNumber;
    case RecLabel2:
        return RecLabel;
    case RecBoolErr2:
        return RecBoolErr;
    case RecString2:
        return RecString;
    case RecIndex2:
        return RecIndex;
    case RecArray2:
        return RecArray;
    case RecTable2:
        return RecTable;
    default:
        return type;
    }
}

} // namespace plivan
