#pragma once
// Where the module may be registered from for every user. A machine-wide
// registration makes every user's shell run the module (the open command,
// the icon handler): from a folder that other users can change, that would
// be their code in everyone's session.

namespace install {

// Whether no one but administrators (the Administrators group, SYSTEM,
// TrustedInstaller and the current user, an administrator when the scope is
// the machine's) can change `path`: its owner is one of them and its access
// list allows no one else to write to it, add to it, delete from it or
// change its access list or owner. False when the security of `path`
// cannot be read or it has no access list at all.
bool OnlyAdministratorsCanChange(const char* path);

// Registration of the module at `modulePath` in `scope`: always allowed for
// the current user; for the machine only when only administrators can
// change the module's folder and the module itself. A refusal is told to the
// user (what to do instead included). True when the registration may go on.
bool MayRegisterFrom(const char* modulePath, int scope);

}  // namespace install
