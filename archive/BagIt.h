// Bags as the BagIt format 1.0 (RFC 8493) defines them, the form in which
// archives keep and hand on a disk: a folder with its payload under data/,
// manifests of the payload's checksums, bag-info.txt of labelled fields, and
// tag manifests of the checksums of those tag files.
#pragma once

#include <string>
#include <vector>

// One labelled field of bag-info.txt ("Label: value").
struct BagTag {
    std::string label;
    std::string value;
};
using BagTags = std::vector<BagTag>;

// The value of the first field with `label`; empty when there is none.
std::string TagValue(const BagTags& tags, const std::string& label);

// Makes the folder `bag`, whose payload is complete under `bag`/data, a bag:
// bagit.txt, manifest-sha256.txt and manifest-sha512.txt of every payload
// file, bag-info.txt with `tags` and the Payload-Oxum, and the tag manifests
// tagmanifest-sha256.txt and tagmanifest-sha512.txt of those. Returns Success,
// or Failure after its message (a file that cannot be read or written).
int CompleteBag(const std::string& bag, const BagTags& tags);

// Every reason why `bag` is no valid bag, one line each; none for a valid
// one. Checks the required tag files, that every payload file is in every
// payload manifest and nothing else is, the Payload-Oxum, and every checksum
// of the payload and tag manifests (MD5, SHA-1, SHA-256 or SHA-512).
std::vector<std::string> ValidateBag(const std::string& bag);

// The fields of the bag's bag-info.txt, in order; none when it cannot be read.
BagTags ReadBagInfo(const std::string& bag);
