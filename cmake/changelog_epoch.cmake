# sarvik_changelog_epoch(changelog var): the date of a Debian changelog's
# latest entry, at the end of its first trailer line
#  -- name <address>  Thu, 10 Dec 2026 00:00:00 +0000
# in seconds since 1970. The days are counted from a year that starts in
# March, so that the leap day is its last.
function(sarvik_changelog_epoch changelog var)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(weekdays Thu Fri Sat Sun Mon Tue Wed)  # 1 January 1970 was a Thursday
  file(STRINGS ${changelog} trailer REGEX "^ -- " LIMIT_COUNT 1)
  set(day_pattern "([A-Z][a-z][a-z]), ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9])")
  set(time_pattern "([0-9][0-9]):([0-9][0-9]):([0-9][0-9]) ([-+])([0-9][0-9][0-9][0-9])")
  if(NOT trailer MATCHES "  ${day_pattern} ${time_pattern}$")
    message(FATAL_ERROR "${changelog}: no date of the form \"Thu, 10 Dec 2026 00:00:00 +0000\" "
                        "ends the line \"${trailer}\"")
  endif()
  set(weekday ${CMAKE_MATCH_1})
  set(day ${CMAKE_MATCH_2})
  list(FIND months ${CMAKE_MATCH_3} month)
  if(month EQUAL -1)
    message(FATAL_ERROR "${changelog}: no month ${CMAKE_MATCH_3} in \"${trailer}\"")
  endif()
  set(year ${CMAKE_MATCH_4})
  math(EXPR time "${CMAKE_MATCH_5} * 3600 + ${CMAKE_MATCH_6} * 60 + ${CMAKE_MATCH_7}")
  math(EXPR offset "${CMAKE_MATCH_9} / 100 * 3600 + ${CMAKE_MATCH_9} % 100 * 60")
  if(CMAKE_MATCH_8 STREQUAL "-")
    math(EXPR offset "-${offset}")
  endif()
  # month is 0 for January here; March is month 0 of the March-based year.
  if(month LESS 2)
    math(EXPR year "${year} - 1")
    math(EXPR month "${month} + 10")
  else()
    math(EXPR month "${month} - 2")
  endif()
  math(EXPR days "365 * ${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 \
                  + (153 * ${month} + 2) / 5 + ${day} - 1 - 719468")
  # Before 1970 the remainder is negative: list(GET) counts it from the end.
  math(EXPR weekday_number "${days} % 7")
  list(GET weekdays ${weekday_number} computed)
  if(NOT weekday STREQUAL computed)
    message(FATAL_ERROR "${changelog}: \"${trailer}\" is a ${computed}, not a ${weekday}")
  endif()
  math(EXPR epoch "${days} * 86400 + ${time} - ${offset}")
  set(${var} ${epoch} PARENT_SCOPE)
endfunction()
