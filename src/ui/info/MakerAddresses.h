// The maker's addresses that the information windows show and open. A
// publisher who takes the program over changes the host and the mail
// address here, in one line each; the pages' paths stay.
#pragma once

#include <QString>

namespace maker {

// The maker's web host.
inline constexpr char kHost[] = "svetsoft.ru";
// The maker's contact mail address.
inline constexpr char kMail[] = "info@svetsoft.ru";

// The product's page, where each new version is published.
QString productPage();
// The maker's distance-courses page.
QString coursesPage();
// The contact mail address, bare, as the windows show it.
QString contactMail();
// The contact mail address as a link that opens a new message.
QString contactMailLink();

} // namespace maker
