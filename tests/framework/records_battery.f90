! Reference output for the record formatter tests, written by gfortran itself.
!
! Every value is announced on a line of its own with its bit pattern, so the
! C++ test formats exactly the same number:
!   D <16 hex digits>   REAL(8) value for the lines that follow
!   R <8 hex digits>    REAL(4) value
!   N <16 hex digits>   INTEGER(8) value
!   S <length> <text>   character value (text may contain blanks)
! A record line starts with its tag and a blank; the C++ test knows which
! descriptors each tag stands for. List-directed records cannot carry a tag,
! so their tag (LD, LF, LI, LS, M<n>) stands alone on the line before them.
program records_battery
  use, intrinsic :: ieee_arithmetic, only: ieee_value, ieee_quiet_nan, &
                                           ieee_positive_inf, ieee_negative_inf
  implicit none
  integer, parameter :: dp = kind(1.0d0), sp = kind(1.0)
  character(len=12) :: strs(8)
  integer :: slen(8)
  integer :: k
  real(dp) :: nan, pinf, minf

  nan = ieee_value(1.0_dp, ieee_quiet_nan)
  pinf = ieee_value(1.0_dp, ieee_positive_inf)
  minf = ieee_value(1.0_dp, ieee_negative_inf)

  call double_records([0.0_dp, -0.0_dp, 1.0_dp, -1.0_dp, 0.5_dp, -0.5_dp, 2.5_dp, 0.125_dp, &
        123.456_dp, -123.456_dp, 8314.4_dp, 1.0e35_dp, -1.0e35_dp, &
        (10.0_dp**k, k = -12, 12), &
        0.9999995_dp, 9.9999995_dp, 0.99995_dp, 9.99995_dp, 0.099995_dp, &
        0.0999949_dp, 9999.5_dp, 9999.4999_dp, 0.05_dp, 0.15_dp, -0.0004_dp, &
        1.0e16_dp, 1.0e17_dp, 99999999999999999.0_dp, 0.1_dp, &
        0.09999999999999999_dp, &
        1.0e100_dp, -1.0e-100_dp, 1.0e-310_dp, huge(1.0_dp), tiny(1.0_dp), &
        nan, pinf, minf])
  call single_records([0.0_sp, -0.0_sp, 1.0_sp, 2.5_sp, 0.1_sp, -123.456_sp, 8314.4_sp, &
        1.0e35_sp, 1.0e-12_sp, 1.0e12_sp, 99999999.0_sp, 999999999.0_sp, 0.099999999_sp, &
        huge(1.0_sp), tiny(1.0_sp), transfer(1, 1.0_sp), &
        real(nan, sp), real(pinf, sp), real(minf, sp)])
  call integer_records([0_8, 1_8, -1_8, 7_8, 42_8, -999_8, 1000_8, 123456789_8, &
        2147483647_8, -2147483647_8, -2147483647_8 - 1_8, &
        huge(1_8), -huge(1_8) - 1_8])
  strs = ['            ', 'x           ', 'abc         ', 'abcdefgh    ', &
          'abcdefghijkl', ' lead       ', 'trail       ', 'a b c       ']
  slen = [0, 1, 3, 8, 12, 5, 6, 5]

  do k = 1, size(strs)
    write (*, '("S ",I0," ",A)') slen(k), strs(k)(1:slen(k))
    write (*, '("A ",A8,"|",A3,"|",A,"|",A1,"|",2X,"|")') strs(k)(1:slen(k)), &
      strs(k)(1:slen(k)), strs(k)(1:slen(k)), strs(k)(1:slen(k))
    write (*, '("LS")')
    write (*, *) strs(k)(1:slen(k))
  end do

  ! Mixed list-directed records: separators between character and numeric items.
  write (*, '("M1")')
  write (*, *) 'T =', 300.0_dp, 'K'
  write (*, '("M2")')
  write (*, *) 'abc', 'def', 'g'
  write (*, '("M3")')
  write (*, *) 1, 2, -3
  write (*, '("M4")')
  write (*, *) 'n=', 5, 'x=', 2.5_dp, 'y=', 0.1_sp
  write (*, '("M5")')
  write (*, *) 1.5_dp, 'a', 'b', 2
  write (*, '("M6")')
  write (*, *) ''
  write (*, '("M7")')
  write (*, *) '', 1
  write (*, '("M8")')
  write (*, *) 1, ''
  write (*, '("M9")')
  write (*, *) -2147483647, -0.0_dp, 1.0e35_sp, 1.0e35_dp, nan
  write (*, '("M10")')
  write (*, *)
  write (*, '("M11")')
  write (*, *) 'Pump P-101: head', 42.125_dp, 'm at', 12, 'kg/s'

contains

  subroutine double_records(v)
    real(dp), intent(in) :: v(:)
    integer :: k
    do k = 1, size(v)
      write (*, '("D ",Z16.16)') transfer(v(k), 0_8)
      write (*, '("F ",0PF12.4,"|",F8.0,"|",F6.3,"|",F0.3,"|",F3.1,"|",F2.1)') &
        v(k), v(k), v(k), v(k), v(k), v(k)
      write (*, '("E ",0PE12.4,"|",E9.3,"|",E7.1,"|",E16.8)') v(k), v(k), v(k), v(k)
      write (*, '("P ",1PE12.4,"|",1PE9.2,"|",1PE6.0,"|",1PE24.16)') v(k), v(k), v(k), v(k)
      write (*, '("G ",1PG12.4,"|",1PG10.3,"|",1PG6.1,"|",1PG15.7,"|",1PG10.0)') &
        v(k), v(k), v(k), v(k), v(k)
      write (*, '("Q ",1PF12.4,"|",1PF8.1,"|",1PF0.2)') v(k), v(k), v(k)
      write (*, '("LD")')
      write (*, *) v(k)
    end do
  end subroutine double_records

  subroutine single_records(v)
    real(sp), intent(in) :: v(:)
    integer :: k
    do k = 1, size(v)
      write (*, '("R ",Z8.8)') transfer(v(k), 0)
      write (*, '("LF")')
      write (*, *) v(k)
    end do
  end subroutine single_records

  subroutine integer_records(v)
    integer(8), intent(in) :: v(:)
    integer :: k
    do k = 1, size(v)
      write (*, '("N ",Z16.16)') v(k)
      write (*, '("I ",I12,"|",I5,"|",I1,"|",I0,"|",I20)') v(k), v(k), v(k), v(k), v(k)
      if (v(k) >= -2147483647_8 - 1_8 .and. v(k) <= 2147483647_8) then
        write (*, '("LI")')
        write (*, *) int(v(k))
      end if
    end do
  end subroutine integer_records
end program records_battery
