#pragma once
// The one error code space of Carillon. Every operation that can fail returns
// an ErrorCode (0 = success) and also keeps it in a last-error field of its
// object. Layout: bit 24 marks the general group, bits 23-16 the group of all
// other codes, bits 15-0 the number within the group.

#include <cstdint>

namespace carillon {

using ErrorCode = std::uint32_t;

constexpr ErrorCode kOk = 0x00000000;

// General group.
constexpr ErrorCode kErrNoMemory = 0x01000001;
constexpr ErrorCode kErrNotSupported = 0x01000002;
constexpr ErrorCode kErrFileNotFound = 0x01000003;
constexpr ErrorCode kErrFileSize = 0x01000004;
constexpr ErrorCode kErrFileEmpty = 0x01000005;
constexpr ErrorCode kErrFileRead = 0x01000006;
constexpr ErrorCode kErrMissingObject = 0x01000008;
constexpr ErrorCode kErrFileIsDirectory = 0x01000009;
constexpr ErrorCode kErrFileNotRegular = 0x0100000A;
constexpr ErrorCode kErrFileNoAccess = 0x0100000B;

// Ports.
constexpr ErrorCode kErrPortAlreadyOpen = 0x00010001;
constexpr ErrorCode kErrPortNotOpen = 0x00010002;
constexpr ErrorCode kErrPortNotSet = 0x00010003;
constexpr ErrorCode kErrPortCantOpen = 0x00010004;
constexpr ErrorCode kErrPortAlreadyClosed = 0x00010006;
constexpr ErrorCode kErrPortWrongSetting = 0x00010007;
constexpr ErrorCode kErrPortInvalidNumber = 0x00010008;
constexpr ErrorCode kErrPortInvalidBaud = 0x00010009;
constexpr ErrorCode kErrPortInvalidHandshake = 0x0001000A;
constexpr ErrorCode kErrPortSend = 0x0001000B;
constexpr ErrorCode kErrPortRead = 0x0001000C;
constexpr ErrorCode kErrPortPurge = 0x0001000D;
constexpr ErrorCode kErrPortFlushTimeout = 0x0001000E;
constexpr ErrorCode kErrPortWriteTimeout = 0x0001000F;
constexpr ErrorCode kErrPortReadTimeout = 0x00010010;
constexpr ErrorCode kErrUsbNotGone = 0x00010012;
constexpr ErrorCode kErrUsbNotBack = 0x00010013;
constexpr ErrorCode kErrPortTextTooLong = 0x00010020;

// Monitor protocol.
constexpr ErrorCode kErrMonNotBlank = 0x00020001;
constexpr ErrorCode kErrMonNotConnected = 0x00020003;
constexpr ErrorCode kErrMonPacketShort = 0x00020004;
constexpr ErrorCode kErrMonPacketLong = 0x00020005;
constexpr ErrorCode kErrMonCrc = 0x00020006;
constexpr ErrorCode kErrMonSequence = 0x00020007;
constexpr ErrorCode kErrMonAddressRange = 0x00020008;
constexpr ErrorCode kErrMonWrongCommand = 0x00020009;
constexpr ErrorCode kErrMonUnknownAnswer = 0x0002000A;
constexpr ErrorCode kErrMonVersionNewer = 0x0002000B;
constexpr ErrorCode kErrMonNoEnd = 0x0002000C;
constexpr ErrorCode kErrMonDataType = 0x00020011;
constexpr ErrorCode kErrMonFlashAbsent = 0x00020013;
constexpr ErrorCode kErrMonLocationUnknown = 0x00020014;
constexpr ErrorCode kErrMonCryptUnknown = 0x00020015;
constexpr ErrorCode kErrMonPacketSize = 0x00020016;
constexpr ErrorCode kErrMonUnknownFlash = 0x00020017;
constexpr ErrorCode kErrMonRequestTooLong = 0x00020018;
constexpr ErrorCode kErrMonNotSent = 0x00020019;
// A refusal by the printer: this base plus the flag byte of its ANS_FAILURE.
constexpr ErrorCode kErrMonFailureBase = 0x00020100;

constexpr bool IsMonitorFailure(ErrorCode code) { return (code & ~0xFFu) == kErrMonFailureBase; }

// Flash image and engine.
constexpr ErrorCode kErrEngNoIndex = 0x00030003;
constexpr ErrorCode kErrEngNoEndEntry = 0x00030004;
constexpr ErrorCode kErrEngEntrySize = 0x00030006;
constexpr ErrorCode kErrEngSavedNoAddress = 0x0003000A;
constexpr ErrorCode kErrEngNoPlace = 0x0003000B;
constexpr ErrorCode kErrEngTooManyEntries = 0x0003000E;
constexpr ErrorCode kErrEngEntryCorrupted = 0x00030011;
constexpr ErrorCode kErrEngTooManyErrors = 0x00030014;
constexpr ErrorCode kErrEngNotSaved = 0x00030015;
constexpr ErrorCode kErrEngWrongFlashType = 0x00030017;
constexpr ErrorCode kErrEngGeometryStale = 0x00030018;
constexpr ErrorCode kErrEngLocationAbsent = 0x00030019;
constexpr ErrorCode kErrEngSectorUnallocated = 0x00030021;
constexpr ErrorCode kErrEngAddressUnallocated = 0x00030022;
constexpr ErrorCode kErrEngBusy = 0x00030023;
constexpr ErrorCode kErrEngNoThread = 0x00030024;
constexpr ErrorCode kErrEngTableStale = 0x00030025;
constexpr ErrorCode kErrEngBadPosition = 0x00030026;
constexpr ErrorCode kErrEngFixedAddressTaken = 0x00030027;
constexpr ErrorCode kErrEngStoppedByUser = 0x00030030;
// The update job's output and the jobs built on its output binary.
constexpr ErrorCode kErrJobOutputCreate = 0x00030040;
constexpr ErrorCode kErrJobOutputWrite = 0x00030041;
constexpr ErrorCode kErrJobOutputIsInput = 0x00030042;
constexpr ErrorCode kErrJobOutputNotFile = 0x00030043;
constexpr ErrorCode kErrJobNothingForPrinter = 0x00030044;
constexpr ErrorCode kErrJobReplayReserved = 0x00030045;
constexpr ErrorCode kErrJobReplayFamily = 0x00030046;
constexpr ErrorCode kErrJobReplayEmpty = 0x00030047;
constexpr ErrorCode kErrJobForcedRemovalRefused = 0x00030048;

// Package element.
constexpr ErrorCode kErrPkgFormat = 0x00040001;
constexpr ErrorCode kErrPkgCount = 0x00040002;
constexpr ErrorCode kErrPkgFieldFormat = 0x00040003;
constexpr ErrorCode kErrPkgMissingField = 0x00040004;
constexpr ErrorCode kErrPkgCrc = 0x00040005;
constexpr ErrorCode kErrPkgSize = 0x00040006;
constexpr ErrorCode kErrPkgUnknownType = 0x00040009;
constexpr ErrorCode kErrPkgUnknownLocation = 0x0004000A;

// Printer identification and command set.
constexpr ErrorCode kErrIdNoPrinter = 0x00050001;
constexpr ErrorCode kErrIdUnknownPrinter = 0x00050003;
constexpr ErrorCode kErrIdNotAvailable = 0x00050004;

// Package compatibility.
constexpr ErrorCode kErrCompatUnknownPrinter = 0x00060001;
constexpr ErrorCode kErrCompatTooManyFirmware = 0x00060002;
constexpr ErrorCode kErrCompatFirstFontA = 0x00060003;
constexpr ErrorCode kErrCompatSecondFontB = 0x00060004;
constexpr ErrorCode kErrCompatMissingFontA = 0x00060005;
constexpr ErrorCode kErrCompatMissingFontB = 0x00060006;
constexpr ErrorCode kErrCompatMissingDspFirmware = 0x00060007;
constexpr ErrorCode kErrCompatMissingMcuFirmware = 0x00060008;
constexpr ErrorCode kErrCompatIncompatibleElement = 0x0006000B;
constexpr ErrorCode kErrCompatIncompatibleLocation = 0x0006000C;
constexpr ErrorCode kErrCompatMissingKioskFirmware = 0x0006000D;
constexpr ErrorCode kErrCompatArchiUnknown = 0x0006000F;
constexpr ErrorCode kErrCompatTooManyParamsFact = 0x00060010;
constexpr ErrorCode kErrCompatTooManyParamsCustom = 0x00060011;
constexpr ErrorCode kErrCompatMcuParamsFactMissing = 0x00060012;
constexpr ErrorCode kErrCompatMcuParamsCustomMissing = 0x00060013;
constexpr ErrorCode kErrCompatKioskParamsFactMissing = 0x00060014;
constexpr ErrorCode kErrCompatKioskParamsCustomMissing = 0x00060015;

}  // namespace carillon
