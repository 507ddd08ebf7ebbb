// The maker's side of signed releases, with OpenSSL: the key pair, the document's signature and
// the packages' SHA-256. The updater checks the same with the system's cryptography.
//
// Encodings shared with the updater:
//   public key line   "ecdsa-p256:" + 128 lowercase hex digits: X || Y of the P-256 point
//   signature         128 lowercase hex digits: r || s, each 32 bytes big-endian, of ECDSA with
//                     SHA-256 over the signed bytes
//   private key file  PEM (PKCS #8), readable by the owner only
#pragma once
#include <string>

namespace signing {

extern const char kPublicKeyPrefix[];  // "ecdsa-p256:"

// Makes a new key pair: the private key to strKeyFile (created, never overwritten; mode 0600),
// the public key line into strPublicKey. False with strError on any failure.
bool GenerateKeyPair(const std::string& strKeyFile, std::string& strPublicKey, std::string& strError);

// The public key line of the private key in strKeyFile.
bool ReadPublicKey(const std::string& strKeyFile, std::string& strPublicKey, std::string& strError);

// The signature of strSigned with the private key in strKeyFile.
bool Sign(const std::string& strKeyFile, const std::string& strSigned, std::string& strSignature,
          std::string& strError);

// Whether strSignature is a valid signature of strSigned by the key of strPublicKey.
bool Verify(const std::string& strPublicKey, const std::string& strSigned, const std::string& strSignature);

// SHA-256 of the bytes, as 64 lowercase hex digits.
std::string Sha256Hex(const std::string& strBytes);
// SHA-256 of a file, read in pieces; false when it cannot be read.
bool Sha256OfFile(const std::string& strPath, std::string& strHex, unsigned long long& nSize);

}  // namespace signing
