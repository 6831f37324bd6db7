#include "package/records.h"

#include "text/little_endian.h"

namespace stowkit {

void EncodeHeader(const PackageHeader& h, std::span<uint8_t, kHeaderSize> out) {
  uint8_t* p = out.data();
  StoreLe32(p + header_at::kSignature, h.Signature);
  p[header_at::kFlags] = h.Flags;
  p[header_at::kPlatform] = h.Platform;
  StoreLe32(p + header_at::kVersion, h.Version);
  StoreLe32(p + header_at::kBlobOffset, h.BlobOffset);
  StoreLe32(p + header_at::kBlobLen, h.BlobLen);
  StoreLe32(p + header_at::kCatalogLen, h.CatalogLen);
  StoreLe16(p + header_at::kDescriptorLen, h.DescriptorLen);
}

PackageHeader DecodeHeader(std::span<const uint8_t, kHeaderSize> bytes) {
  const uint8_t* p = bytes.data();
  PackageHeader h;
  h.Signature = LoadLe32(p + header_at::kSignature);
  h.Flags = p[header_at::kFlags];
  h.Platform = p[header_at::kPlatform];
  h.Version = LoadLe32(p + header_at::kVersion);
  h.BlobOffset = LoadLe32(p + header_at::kBlobOffset);
  h.BlobLen = LoadLe32(p + header_at::kBlobLen);
  h.CatalogLen = LoadLe32(p + header_at::kCatalogLen);
  h.DescriptorLen = LoadLe16(p + header_at::kDescriptorLen);
  return h;
}

void EncodeRecord(const CatalogRecord& r, std::span<uint8_t, kRecordSize> out) {
  uint8_t* p = out.data();
  p[record_at::kEntryType] = r.EntryType;
  p[record_at::kEntryFlags] = r.EntryFlags;
  p[record_at::kTypeFlags] = r.TypeFlags;
  p[record_at::kReserved] = 0;
  StoreLe32(p + record_at::kBlobOffset, r.BlobOffset);
  StoreLe32(p + record_at::kBlobLength, r.BlobLength);
  StoreLe32(p + record_at::kFinalSize, r.FinalSize);
  StoreLe32(p + record_at::kFinalCRC, r.FinalCRC);
  StoreLe16(p + record_at::kDescriptorLn, r.DescriptorLn);
}

CatalogRecord DecodeRecord(std::span<const uint8_t, kRecordSize> bytes) {
  const uint8_t* p = bytes.data();
  CatalogRecord r;
  r.EntryType = p[record_at::kEntryType];
  r.EntryFlags = p[record_at::kEntryFlags];
  r.TypeFlags = p[record_at::kTypeFlags];
  r.BlobOffset = LoadLe32(p + record_at::kBlobOffset);
  r.BlobLength = LoadLe32(p + record_at::kBlobLength);
  r.FinalSize = LoadLe32(p + record_at::kFinalSize);
  r.FinalCRC = LoadLe32(p + record_at::kFinalCRC);
  r.DescriptorLn = LoadLe16(p + record_at::kDescriptorLn);
  return r;
}

}  // namespace stowkit
