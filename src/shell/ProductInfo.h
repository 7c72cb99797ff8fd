#pragma once
// The product's fixed texts and addresses, kept in one place.
namespace vn::product {

inline constexpr const char* kApplicationName = "VARNELO FTP";
inline constexpr const char* kMainCaption = "Varnelo FTP Suite";
inline constexpr const char* kVersion = "3.7";
inline constexpr const char* kAuthorMail = "support@varnelo.example";
inline constexpr const char* kWebSite = "https://varnelo.example/";

} // namespace vn::product
