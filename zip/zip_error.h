// What a zip operation reports. Every failure leaves no partial result behind.
#pragma once

namespace kwill::zip {

enum class ZipError {
    Ok = 0,
    CannotOpen,             // the file could not be opened or created
    ReadFailed,             // a read of the file failed or came up short
    NotZip,                 // no end record: not a zip archive
    SplitArchive,           // one volume of a split or spanned set
    DamagedDirectory,       // the end record or central directory does not hold together
    DamagedMember,          // a local header disagrees with the directory or leaves the archive
    NotFound,               // no member of that name
    UnsupportedMethod,      // a compression method other than stored and deflate
    UnsupportedEncryption,  // strong or AES encryption
    PasswordRequired,       // an encrypted member and no password
    WrongPassword,          // the check byte of the encryption header does not match
    TooLarge,               // above the caller's size limit
    BadData,                // the compressed data is corrupt, truncated or longer than declared
    BadCrc,                 // the output does not have the member's CRC-32
    OutOfMemory,
    WriteFailed,   // writing the output (file or caller's sink) failed
    InvalidName,   // a member name the writer refuses (empty, too long, absolute, "..")
    InvalidState,  // a writer call out of order
};

// A short English description for the tool and diagnostics.
const char* ZipErrorText(ZipError error);

}  // namespace kwill::zip
