// The model tables of the driver add-ons and the one LoadDriver that reads
// them. Each add-on describes its drive family as constant data (inquiry
// tests, console lines, flags, speed tables and command variants) and hands
// it to LoadDriverForFamily.
#pragma once

#include "driver/driverbaseclass.h"

#include <array>
#include <span>
#include <string_view>

// "0.80" and the build date and time of the add-on that uses it.
#define DRIVER_VERSION_TEXT "0.80 (" __DATE__ ", " __TIME__ ")"

// Rebinds one slot to a function of the command library.
struct SLOT_BINDING {
	DRIVER_SLOT slot;
	const char* function;
};

// One inquiry test: `vendor` is compared with the inquiry bytes from 8 on and
// `product` with the bytes from 16 on, each for exactly its own length (a
// product constant may run into the revision field). An empty constant tests
// nothing. Plain byte comparisons: no case folding, no trimming.
struct INQUIRY_TEST {
	std::string_view vendor;
	std::string_view product;
};

// What a record gets for one model, or for a drive no model matched.
struct DRIVER_MODEL {
	const char* line;                       // console line; null prints nothing
	std::span<const INQUIRY_TEST> tests;    // any one of them recognises the model
	uint64 flags;                           // replaces the record's flags
	const SPEED_INFO* read;                 // null keeps the table the record has
	const SPEED_INFO* writeCdr;
	const SPEED_INFO* writeCdrw;
	std::span<const SLOT_BINDING> variants; // bound after the family-wide ones
};

struct DRIVER_FAMILY {
	// Applied to every record before any test.
	std::span<const SLOT_BINDING> familyVariants;
	const SPEED_INFO* familyRead;           // null keeps speed_dummy
	const SPEED_INFO* familyWriteCdr;
	const SPEED_INFO* familyWriteCdrw;
	// When not empty, the vendor field must begin with one of these
	// constants; otherwise the record gets `vendorMismatch` and no model is
	// tried.
	std::span<const std::string_view> vendorGate;
	DRIVER_MODEL vendorMismatch;
	// Tried in order; the first whose test holds wins.
	std::span<const DRIVER_MODEL> models;
	DRIVER_MODEL noMatch;
};

// True when the test holds for the 56 bytes of inquiry data.
bool InquiryTestHolds(const INQUIRY_TEST& test, const SCSI_INQUIRY& inquiry);

// The model of `family` that the inquiry data name: the vendor-mismatch
// entry, a model, or the no-match entry. A null inquiry matches nothing.
const DRIVER_MODEL& FindDriverModel(const DRIVER_FAMILY& family, const SCSI_INQUIRY* inquiry);

// The body of every add-on's LoadDriver: a new record bound from imageId,
// with the add-on's three strings, the family-wide variants and tables, and
// the chosen model's console line (printed to standard output), flags,
// tables and variants. Never null; the caller owns the record.
CDriver* LoadDriverForFamily(const DRIVER_FAMILY& family, const SCSI_INQUIRY* inquiry);

// Joins constant binding lists, for a model that adds variants to a shared
// set: Concat(kTeacSet, std::array {SLOT_BINDING {...}}).
template <size_t N, size_t M>
constexpr std::array<SLOT_BINDING, N + M> Concat(const std::array<SLOT_BINDING, N>& first,
	const std::array<SLOT_BINDING, M>& second)
{
	std::array<SLOT_BINDING, N + M> joined {};
	for (size_t i = 0; i < N; i++)
		joined[i] = first[i];
	for (size_t i = 0; i < M; i++)
		joined[N + i] = second[i];
	return joined;
}

// True when every product constant of the models' tests has `length` bytes
// (for families whose products compare the whole field).
constexpr bool ProductsHaveLength(std::span<const DRIVER_MODEL> models, size_t length)
{
	for (const DRIVER_MODEL& model : models) {
		for (const INQUIRY_TEST& test : model.tests) {
			if (test.product.size() != length)
				return false;
		}
	}
	return true;
}
