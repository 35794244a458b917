# gruppe_pruefen WHEN: the check both maintainer scripts of dadaviru make, put into each when the
# package is built. The polkit rule lets every member of a group named dadaviru set the clock, so a
# group of that name that the machine already has must be one made for it: a system group, and no
# user's private group. Otherwise it says on stderr what it found, what that means and how to fix
# it, and fails, so the package does not take the group over. WHEN: "before" (nothing unpacked yet)
# or "after" (the rule already in place).
gruppe_pruefen() {
  eintrag=$(getent group dadaviru) || return 0
  gid=$(echo "$eintrag" | cut -d: -f3)
  mitglieder=$(echo "$eintrag" | cut -d: -f4)
  # The range useradd and groupadd take system groups from, with their defaults.
  login_defs() { sed -n "s/^[[:space:]]*$1[[:space:]]\{1,\}\([0-9]\{1,\}\).*/\1/p" /etc/login.defs 2>/dev/null | tail -n1; }
  gid_min=$(login_defs GID_MIN)
  von=$(login_defs SYS_GID_MIN)
  bis=$(login_defs SYS_GID_MAX)
  von=${von:-100}
  bis=${bis:-$((${gid_min:-1000} - 1))}
  grund=
  if [ "$(getent passwd dadaviru | cut -d: -f4)" = "$gid" ]; then
    grund="it is the private group of the user dadaviru"
  elif [ "$gid" -lt "$von" ] || [ "$gid" -gt "$bis" ]; then
    grund="its gid lies outside the range of system groups, $von to $bis (SYS_GID_MIN and SYS_GID_MAX in /etc/login.defs)"
  fi
  [ -n "$grund" ] || return 0
  {
    echo "dadaviru: The group dadaviru already exists (gid $gid, listed members: ${mitglieder:-none}),"
    echo "dadaviru: and it is not a system group made for this package: $grund."
    echo "dadaviru: The package's polkit rule lets every member of a group named dadaviru set the system"
    echo "dadaviru: clock without a password, so installing it would give that right to this group's members"
    echo "dadaviru: and to every user whose primary group it is."
    if [ "$1" = after ]; then
      echo "dadaviru: The package stays unconfigured. Its rule is in place, so until this is fixed they may set"
      echo "dadaviru: the clock: remove the package (apt remove dadaviru) if they must not."
    else
      echo "dadaviru: Nothing was installed."
    fi
    echo "dadaviru: To fix it, as root, either rename the group, which its members keep under the new name:"
    echo "dadaviru:     groupmod -n NEW-NAME dadaviru"
    echo "dadaviru: or, if it was made for Dadaviru and its members are to set the clock, and it is no user's"
    echo "dadaviru: private group, give it a free gid between $von and $bis:"
    echo "dadaviru:     groupmod -g GID dadaviru"
    echo "dadaviru: Then install the package again (apt install dadaviru, or dpkg --configure dadaviru)."
  } >&2
  return 1
}
